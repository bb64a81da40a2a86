#pragma once
// SIGTERM, SIGHUP and SIGINT become one call on the user-interface thread,
// so that a logout, a kill or Ctrl-C ends the program the way its own Exit
// would, never in the middle of writing the printer's flash. A signal that
// was ignored at start (nohup) stays ignored; the earlier actions come back
// when the object goes.

#include <functional>

#include <QObject>

class QSocketNotifier;

class CTerminationSignals : public QObject {
    Q_OBJECT

public:
    // handler(signal number) runs on the constructing thread, from its
    // event loop; one call per signal received.
    explicit CTerminationSignals(std::function<void(int)> handler);
    ~CTerminationSignals() override;

    CTerminationSignals(const CTerminationSignals&) = delete;
    CTerminationSignals& operator=(const CTerminationSignals&) = delete;

    // False when the signals could not be taken over (they keep their
    // default actions then).
    bool Installed() const { return m_bInstalled; }

private:
    void OnReadable();

    std::function<void(int)> m_handler;
    QSocketNotifier* m_pNotifier = nullptr;
    bool m_bInstalled = false;
};
