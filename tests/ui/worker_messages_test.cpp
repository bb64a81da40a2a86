// The main dialog's handlers of the worker messages: the progress window
// fed through them, the end of a run, the USB receive and send threads and
// their ended-messages, and the USB reconnection.

#include <atomic>
#include <cerrno>
#include <thread>

#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>

#include "tests/ui/dialog_access.h"
#include "engine/failure_hint.h"
#include "engine/flash_downloader.h"
#include "engine/progress_info.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/ui/flash_run_fixture.h"
#include "workers/receive_usb_thread.h"
#include "workers/send_usb_thread.h"

using rtq::test::FlashRunFixture;

namespace {

// A download object that tells when it is deleted.
class WatchedDownloader : public CFlashDownloader {
public:
    explicit WatchedDownloader(bool* deleted) : m_deleted(deleted) {}
    ~WatchedDownloader() override { *m_deleted = true; }

private:
    bool* m_deleted;
};

// Sends a message from a thread of its own, as a worker does.
LRESULT SendFromWorker(CFlashDlg* dlg, UINT msg, WPARAM w, LPARAM l) {
    std::atomic<LRESULT> result{-1};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = dlg->SendMessage(msg, w, l);
        done = true;
    });
    while (!done) QTest::qWait(1);
    worker.join();
    return result;
}

QProgressBar* Bar(CTransmitDlg* t) { return t->findChild<QProgressBar*>(); }

}  // namespace

class WorkerMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void progressMessagesWithoutAWindowChangeNothing() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        ProgressInfo info{"Erasing flash sector 1 of 1...", 10, 5, 1};
        QCOMPARE(f.dlg->OnWorkerMessage(WM_UPDATE_PROGRESS, 0, reinterpret_cast<LPARAM>(&info)),
                 LRESULT(1));
        QCOMPARE(f.dlg->OnWorkerMessage(WM_SET_PROGRESS_RANGE, 100, 3), LRESULT(1));
        QCOMPARE(f.dlg->OnWorkerMessage(WM_SET_AUTO_STEP, 0, 0), LRESULT(1));
        QCOMPARE(f.dlg->OnWorkerMessage(WM_DISABLE_CANCEL, 0, 0), LRESULT(1));
        const int64_t before = rtq::NowMs();
        QCOMPARE(f.dlg->OnWorkerMessage(WM_CLOSE_PROGRESS, 0, 0), LRESULT(0));
        QVERIFY(rtq::NowMs() - before < 1000);  // no window, no pause
        QCOMPARE(f.dlg->OnWorkerMessage(1283, 0, 0), LRESULT(0));
        QVERIFY(!f.dlg->ProgressDlg());
        QVERIFY(!FlashRunFixture::OpenProgressWindow());
        QCOMPARE(f.dlg->WorkerMessages(),
                 (std::vector<UINT>{WM_UPDATE_PROGRESS, WM_SET_PROGRESS_RANGE, WM_SET_AUTO_STEP,
                                    WM_DISABLE_CANCEL, WM_CLOSE_PROGRESS, 1283}));
    }

    void progressWindowFedByTheWorkersMessages() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        QCOMPARE(SendFromWorker(f.dlg.get(), WM_OPEN_PROGRESS, 1, 0), LRESULT(1));
        CTransmitDlg* t = f.dlg->ProgressDlg();
        QVERIFY(t && t->isVisible());
        QVERIFY(t->RefresherRunning());
        auto* cancel = t->findChild<QPushButton*>(QStringLiteral("idc_1046"));
        QVERIFY(cancel->isEnabled());

        // Range, then a step: the refresher climbs by it and stops at the top.
        QCOMPARE(SendFromWorker(f.dlg.get(), WM_SET_AUTO_STEP, 0, 0), LRESULT(1));
        SendFromWorker(f.dlg.get(), WM_SET_PROGRESS_RANGE, 65536, 0);
        ProgressInfo info{"Downloading data to flash sector 1 of 1...", 65536, 0, 16000};
        SendFromWorker(f.dlg.get(), WM_UPDATE_PROGRESS, 0, reinterpret_cast<LPARAM>(&info));
        QCOMPARE(t->StatusText(), QStringLiteral("Downloading data to flash sector 1 of 1..."));
        QCOMPARE(t->Step(), 16000);
        QTest::qWait(30);
        QCOMPARE(t->Pos(), 0);  // auto-step off
        QSet<int> seen;
        SendFromWorker(f.dlg.get(), WM_SET_AUTO_STEP, 0, 1);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                seen << Bar(t)->value();
                return Bar(t)->value() == 65536;
            }(),
            5000);
        QTest::qWait(30);
        QCOMPARE(t->Pos(), 80000);  // past the range, never advanced again
        QCOMPARE(Bar(t)->value(), 65536);
        for (int v : seen) QVERIFY2(v % 16000 == 0 || v == 65536, qPrintable(QString::number(v)));

        // Enter does nothing; the worker then takes Cancel away, and Esc
        // and the close request do nothing any more.
        rtq::test::KeyTo(t, Qt::Key_Return);
        QVERIFY(t->isVisible());
        QCOMPARE(g_bCancelled.load(), 0);
        SendFromWorker(f.dlg.get(), WM_DISABLE_CANCEL, 0, 0);
        QVERIFY(!cancel->isEnabled());
        rtq::test::KeyTo(t, Qt::Key_Escape);
        t->close();
        QVERIFY(t->isVisible() && !t->IsStopped());
        QCOMPARE(g_bCancelled.load(), 0);

        // Closing waits its pause, ends the refresher, and the window goes.
        const int64_t before = rtq::NowMs();
        QCOMPARE(SendFromWorker(f.dlg.get(), WM_CLOSE_PROGRESS, 0, 0), LRESULT(0));
        QVERIFY(rtq::NowMs() - before >= 1000);
        QVERIFY(!f.dlg->ProgressDlg());
        QVERIFY(!FlashRunFixture::OpenProgressWindow());
    }

    void endOfRunReportsAndFreesInItsOrder() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        bool deleted = false;
        FlashDlgTestAccess::m_run(*f.dlg).pPrinter.reset(new WatchedDownloader(&deleted));
        bool deletedDuringBox = true;
        f.catcher.onBox = [&](QMessageBox*) { deletedDuringBox = deleted; };
        // Cancel was used: 1027 whatever the worker says, and the flag goes.
        g_bCancelled = 1;
        QCOMPARE(f.dlg->OnWorkerMessage(WM_DOWNLOAD_DONE, 0, 1), LRESULT(1));
        QCOMPARE(f.catcher.boxes.size(), size_t(1));
        QCOMPARE(f.catcher.boxes[0].text, QStringLiteral("Application was terminated by Cancel button!"));
        QVERIFY(!deletedDuringBox);
        QVERIFY(deleted);
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pPrinter);
        QCOMPARE(g_bCancelled.load(), 0);

        // Over USB the progress window closes at once, before the result.
        // Measured in real time: on the fast clock the box's own showing
        // and closing could pass for the pause.
        rtq::SystemClock realTime;
        rtq::ScopedClock useRealTime(realTime);
        g_bUsbLink = 1;
        f.dlg->OnWorkerMessage(WM_OPEN_PROGRESS, 0, 0);
        QVERIFY(f.dlg->ProgressDlg());
        bool windowOpenDuringBox = true;
        f.catcher.onBox = [&](QMessageBox*) {
            windowOpenDuringBox = FlashRunFixture::OpenProgressWindow() != nullptr;
        };
        const int64_t before = rtq::NowMs();
        f.dlg->OnWorkerMessage(WM_DOWNLOAD_DONE, 0, 1);
        QVERIFY(rtq::NowMs() - before < 1000);
        QVERIFY(!windowOpenDuringBox);
        QCOMPARE(f.catcher.boxes[1].text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(f.dlg->LastResult(), 1);
    }

    void resultShowsTheCauseTheWorkerSaw() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        QVERIFY(FlashDlgTestAccess::m_run(*f.dlg).CreateDownloader());
        const rtq::LastError seen{rtq::ErrnoText(EACCES), EACCES, "/dev/usb/lp0"};
        std::thread worker([&] {
            rtq::SetLastError(seen);
            FlashDlgTestAccess::m_run(*f.dlg).pPrinter->KeepResultCause();
        });
        worker.join();
        rtq::SetLastErrorFromErrno(ENOENT, "/tmp/other");  // this thread's own
        f.dlg->OnWorkerMessage(WM_DOWNLOAD_DONE, 0, 1038);
        QCOMPARE(f.catcher.boxes.size(), size_t(1));
        QCOMPARE(f.catcher.boxes[0].informative, QString::fromStdString(FailureHint(1038, seen)));
        QVERIFY(!f.catcher.boxes[0].informative.isEmpty());
        rtq::SetLastErrorText(std::string());
    }

    void receiveThreadsComeAndGoByTheirOwnMessages() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        rtq::test::FakeUsbBackend usb;
        rtq::test::ScopedUsbBackend useUsb(usb);
        g_bUsbLink = 1;
        g_hUsbDevice = usb.Open(rtq::test::FakeUsbBackend::kDefaultPath);

        // One reply: the bytes arrive, the event is set, the thread goes.
        f.dlg->ResetReceivedUSB();
        QCOMPARE(SendFromWorker(f.dlg.get(), WM_START_RECV_USB, 3, 0), LRESULT(1));
        QVERIFY(FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load());
        usb.PushInput({0x06, 0x12, 0x34});
        QTRY_VERIFY(f.dlg->WaitReceivedUSB(0));
        QCOMPARE(receivedBuffer[1], uint8_t(0x12));
        QTRY_VERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load());

        // A second request while one waits: the old one goes, after the
        // pause the new one runs, and the old one's late ended-message does
        // not take the new one (which may well have the same address).
        SendFromWorker(f.dlg.get(), WM_START_RECV_USB, 5, 0);
        CReceiveUSBThread* first = FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load();
        QVERIFY(first);
        const int64_t before = rtq::NowMs();
        SendFromWorker(f.dlg.get(), WM_START_RECV_USB, 5, 0);
        QVERIFY(rtq::NowMs() - before >= 1000);
        CReceiveUSBThread* second = FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load();
        QVERIFY(second);
        QTest::qWait(30);
        QCOMPARE(FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load(), second);
        QCOMPARE(second->bytes2BeReceived, 5);

        // Killed from a worker, it ends without a reply and is deleted.
        f.dlg->ResetReceivedUSB();
        std::thread([&] { f.dlg->KillReceiveUSBThread(); }).join();
        QTRY_VERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load());
        QVERIFY(!f.dlg->WaitReceivedUSB(0));
        QVERIFY(usb.MaxConcurrentReads() <= 1);

        usb.Close(g_hUsbDevice.load());
        g_hUsbDevice = INVALID_HANDLE_VALUE;
    }

    void killCallsRaceNoDeletion() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        rtq::test::FakeUsbBackend usb;
        rtq::test::ScopedUsbBackend useUsb(usb);
        g_bUsbLink = 1;
        g_hUsbDevice = usb.Open(rtq::test::FakeUsbBackend::kDefaultPath);
        std::atomic<bool> stop{false};
        std::thread killer([&] {
            while (!stop) f.dlg->KillReceiveUSBThread();
        });
        for (int i = 0; i < 4; ++i) {
            f.dlg->OnWorkerMessage(WM_START_RECV_USB, 2, 0);
            QTest::qWait(2);
        }
        stop = true;
        killer.join();
        f.dlg->KillReceiveUSBThread();
        QTRY_VERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_usbReplies.m_pReceiveUSBThread.load());
        usb.Close(g_hUsbDevice.load());
        g_hUsbDevice = INVALID_HANDLE_VALUE;
    }

    void sendThreadGoesOnlyByItsOwnEndedMessage() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        auto* thread = new CSend_USBThread;
        const LPARAM number = thread->Number();
        FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.reset(thread);
        // An older thread's late message leaves it.
        f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, number - 1);
        QCOMPARE(FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get(), thread);
        f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, number);
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get());
        // The next run's thread may get the same address, never the number.
        auto* next = new CSend_USBThread;
        FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.reset(next);
        QVERIFY(next->Number() != number);
        QCOMPARE(f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, number), LRESULT(1));
        QCOMPARE(FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get(), next);
        f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, next->Number());
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get());
    }

    void reconnectUsbNeedsAllThreeSteps() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        rtq::test::FakeUsbBackend usb;
        rtq::test::ScopedUsbBackend useUsb(usb);
        g_bUsbLink = 1;
        QVERIFY(!f.dlg->ReconnectUsb());  // no run, nothing to reconnect
        FlashDlgTestAccess::m_run(*f.dlg).pPrinter = std::make_unique<CFlashDownloader>();
        QVERIFY(FlashDlgTestAccess::m_run(*f.dlg).pPrinter->OpenUsb());
        const HANDLE first = g_hUsbDevice.load();

        bool ok = false;
        std::thread([&] { ok = f.dlg->ReconnectUsb(); }).join();
        QVERIFY(ok);
        QCOMPARE(usb.CloseCount(), 1);
        QCOMPARE(usb.OpenCount(), 2);
        QVERIFY(g_hUsbDevice.load() != first);
        QCOMPARE(usb.DeviceIdCount(), 1);
        QCOMPARE(usb.PortStatusCount(), 1);

        usb.SetPortStatusResult(false);
        QVERIFY(!f.dlg->ReconnectUsb());
        usb.SetPortStatusResult(true);
        usb.SetDeviceIdResult(false);
        QVERIFY(!f.dlg->ReconnectUsb());
        QCOMPARE(usb.PortStatusCount(), 2);  // not asked after a failed id
        usb.SetDeviceFound(false);
        QVERIFY(!f.dlg->ReconnectUsb());
        g_hUsbDevice = INVALID_HANDLE_VALUE;
    }
};

QTEST_MAIN(WorkerMessagesTest)
#include "worker_messages_test.moc"
