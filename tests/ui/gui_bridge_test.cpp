// Worker threads reaching the dialog: calls carried over to the dialog's
// thread, sent and posted messages, the Bluetooth query and the USB reply
// event.

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <QTest>

#include "tests/ui/dialog_access.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/flash_dlg.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"

using rtq::test::ModalCatcher;
using rtq::test::ShownDialog;

class GuiBridgeTest : public QObject {
    Q_OBJECT

private slots:
    void callRunsOnTheOwnerThreadAndWaits() {
        CGuiCallQueue queue;
        std::atomic<bool> returned{false};
        QThread* ranOn = nullptr;
        int value = 0;
        bool ok = false;
        std::thread worker([&] {
            ok = queue.Call([&] {
                ranOn = QThread::currentThread();
                value = 42;
            });
            returned.store(true);
        });
        QTRY_VERIFY(returned.load());
        worker.join();
        QVERIFY(ok);
        QCOMPARE(value, 42);
        QCOMPARE(ranOn, QThread::currentThread());
    }

    void postsAndCallsKeepTheirOrder() {
        CGuiCallQueue queue;
        std::vector<int> order;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) {
                if (i % 10 == 9)
                    queue.Call([&order, i] { order.push_back(i); });
                else
                    queue.Post([&order, i] { order.push_back(i); });
            }
            done.store(true);
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QTRY_COMPARE(order.size(), size_t(50));
        for (int i = 0; i < 50; ++i) QCOMPARE(order[i], i);
    }

    void aQueueThatGoesAwayReleasesItsCaller() {
        auto* queue = new CGuiCallQueue;
        std::atomic<bool> calling{false};
        std::atomic<int> result{-1};
        bool ran = false;
        std::thread worker([&] {
            calling.store(true);
            result.store(queue->Call([&] { ran = true; }) ? 1 : 0);
        });
        while (!calling.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        delete queue;  // no event was processed meanwhile
        worker.join();
        QCOMPARE(result.load(), 0);
        QVERIFY(!ran);
    }

    void messagesArriveWhileAModalBoxIsOpen() {
        CGuiCallQueue queue;
        ModalCatcher catcher;
        std::vector<QString> order;
        catcher.onBox = [&](QMessageBox*) { order.push_back(QStringLiteral("box open")); };
        queue.Post([&] {
            ShowMessageBox(nullptr, QStringLiteral("first"), QMessageBox::Information);
            order.push_back(QStringLiteral("box closed"));
        });
        queue.Post([&] { order.push_back(QStringLiteral("second")); });
        QTRY_COMPARE(order.size(), size_t(3));
        QCOMPARE(order, std::vector<QString>({"second", "box open", "box closed"}));
    }

    void sendFromAWorkerRunsTheHandlerOnTheDialogsThread() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        dlg->LockControls();
        FlashDlgTestAccess::m_bSerial(*dlg) = true;
        std::atomic<LRESULT> result{-1};
        std::thread worker([&] { result.store(dlg->SendMessage(WM_ENABLE_CONTROLS, 0, 1)); });
        QTRY_COMPARE(result.load(), LRESULT(1));
        worker.join();
        QVERIFY(!dlg->IsBusy());
        QVERIFY(FlashDlgTestAccess::m_cbBaud(*dlg)->isEnabled());
        // On its own thread the send is direct and cannot deadlock.
        dlg->LockControls();
        QCOMPARE(dlg->SendMessage(WM_ENABLE_CONTROLS, 0, 1), LRESULT(1));
        QVERIFY(!dlg->IsBusy());
        // Codes without a handler answer 0.
        QCOMPARE(dlg->SendMessage(WM_APP_BASE + 99, 0, 0), LRESULT(0));
    }

    void postFromAWorkerIsQueued() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        dlg->LockControls();
        std::thread worker([&] { dlg->PostMessage(WM_ENABLE_CONTROLS, 0, 1); });
        worker.join();
        QVERIFY(dlg->IsBusy());  // nothing ran before the event loop did
        QTRY_VERIFY(!dlg->IsBusy());
    }

    void bluetoothStateIsReadableFromAnyThread() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        std::atomic<bool> stop{false};
        std::atomic<int> seenOn{0};
        std::thread reader([&] {
            while (!stop.load())
                if (dlg->IsBluetoothChecked()) seenOn.fetch_add(1);
        });
        rtq::test::Press(dlg->Control(1042));
        QTRY_VERIFY(seenOn.load() > 0);
        rtq::test::Press(dlg->Control(1044));
        stop.store(true);
        reader.join();
        QVERIFY(!dlg->IsBluetoothChecked());
    }

    void usbReplyEventIsManualReset() {
        CFlashDlg dlg;
        QVERIFY(!dlg.WaitReceivedUSB(0));
        dlg.SignalReceivedUSB();
        QVERIFY(dlg.WaitReceivedUSB(0));
        QVERIFY(dlg.WaitReceivedUSB(0));  // stays set until reset
        dlg.ResetReceivedUSB();
        QVERIFY(!dlg.WaitReceivedUSB(0));
    }

    void theMainDialogPointerLivesWithTheDialog() {
        {
            CFlashDlg dlg;
            QCOMPARE(g_pMainDlg.load(), static_cast<INotifyWindow*>(&dlg));
        }
        QCOMPARE(g_pMainDlg.load(), nullptr);
    }
};

QTEST_MAIN(GuiBridgeTest)
#include "gui_bridge_test.moc"
