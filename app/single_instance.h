#pragma once
// One running copy per executable name and user: a lock file named after
// the executable's base name in the user's runtime folder, and a local
// socket of the same name through which a later start asks the running
// copy to come to the front. Both are released when the process ends.

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT

public:
    // name: the executable's base name; folder: the user's runtime folder.
    explicit CSingleInstance(const QString& name, const QString& folder = RuntimeFolder());
    ~CSingleInstance() override;

    // Takes the lock; true when no other copy holds it. The holder then
    // listens for later starts.
    bool Acquire();
    // A later start: asks the running copy to come to the front. True when
    // the request was delivered.
    bool AskRunningCopyToRaise(int timeoutMs = 2000);

    // Called on the holder when a later start asked for the front.
    void SetRaiseHandler(std::function<void()> handler) { m_onRaise = std::move(handler); }

    QString LockPath() const;
    QString SocketPath() const;

    static QString RuntimeFolder();

private:
    void OnNewConnection();

    QString m_name;
    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onRaise;
};
