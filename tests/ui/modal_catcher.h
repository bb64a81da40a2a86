#pragma once
// Finds the modal windows a test's actions open over the main dialog,
// records message boxes and closes them, so that no box is ever left
// waiting. The main dialog itself, modal as the program runs it, is not
// one of them.

#include <functional>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>

namespace rtq::test {

struct CaughtBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    Qt::TextFormat format = Qt::AutoText;
    QString informative;
};

class ModalCatcher : public QObject {
public:
    ModalCatcher() {
        connect(&m_timer, &QTimer::timeout, this, &ModalCatcher::Poll);
        m_timer.start(5);
    }

    std::vector<CaughtBox> boxes;
    // Called for a modal window that is not a message box; it must close it.
    std::function<void(QWidget*)> onOtherModal;
    // Called with each message box before it is closed.
    std::function<void(QMessageBox*)> onBox;

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w->inherits("CFlashDlg")) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            boxes.push_back(CaughtBox{box->windowTitle(), box->text(), box->icon(),
                                      box->standardButtons(), box->parentWidget(),
                                      box->textFormat(), box->informativeText()});
            if (onBox) onBox(box);
            box->done(QMessageBox::Ok);
        } else if (onOtherModal) {
            auto handler = onOtherModal;
            handler(w);
        }
    }

    QTimer m_timer;
};

}  // namespace rtq::test
