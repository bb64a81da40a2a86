// rtqsim: a simulated RTQ650 printer on a pseudo-terminal, on a serial
// device that already exists or on the printer side of a USB gadget.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/version.h"
#include "sim/flash_save.h"
#include "sim/pty_server.h"
#include "sim/rtqsim_options.h"
#include "sim/sim_printer.h"
#include "sim/node_server.h"
#include "sim/printer_node.h"
#include "sim/stream_server.h"
#include "sim/tty_device.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 's';
    // Nothing to do if the pipe is full: a stop is already pending.
    if (write(g_stopPipe[1], &c, 1) < 0) {
    }
}

bool InstallSignals() {
    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (sigaction(sig, &sa, nullptr) != 0) return false;
    signal(SIGPIPE, SIG_IGN);
    return true;
}

// How serving went: NotStarted leaves before anything was served.
enum class Run { NotStarted, Served, Failed };

Run ServePty(rtq::sim::SimPrinter& printer, const rtq::sim::RtqsimOptions& options,
              std::string* error) {
    using namespace rtq::sim;
    PtyServer server;
    if (!server.Open(options.link, error)) return Run::NotStarted;
    std::cout << "rtqsim: listening on " << server.SlavePath();
    if (!options.link.empty()) std::cout << " (linked as " << options.link << ")";
    std::cout << std::endl;

    PtyServer::Options serve;
    serve.flashOut = options.flashOut;
    serve.exitAfterReset = options.exitAfterReset;
    return server.Serve(printer, serve, g_stopPipe[0], error) ? Run::Served : Run::Failed;
}

// The adapter's terminal device or the USB printer gadget's node.
Run ServeNode(rtq::sim::SimPrinter& printer, const rtq::sim::RtqsimOptions& options,
              std::unique_ptr<rtq::sim::ServedNode> node, const char* what,
              std::string* error) {
    using namespace rtq::sim;
    NodeServer::Options serve;
    serve.flashOut = options.flashOut;
    serve.exitAfterReset = options.exitAfterReset;
    serve.gadgetDir = options.usbGadget;
    serve.restartMs = options.restartMs;
    serve.unplug = options.unplug;
    serve.note = [](const std::string& text) {
        std::fprintf(stderr, "rtqsim: %s\n", text.c_str());
    };
    const std::string path = node->Path();
    NodeServer server(std::move(node), serve);
    switch (server.Open(g_stopPipe[0], error)) {
        case NodeServer::Outcome::Failed: return Run::NotStarted;
        case NodeServer::Outcome::Stopped: return Run::Served;
        case NodeServer::Outcome::Ok: break;
    }
    std::cout << "rtqsim: serving " << what << " on " << path << std::endl;
    return server.Serve(printer, g_stopPipe[0], error) ? Run::Served : Run::Failed;
}

Run ServeStream(rtq::sim::SimPrinter& printer, const rtq::sim::RtqsimOptions& options,
                std::string* error) {
    using namespace rtq::sim;
    StreamServer::Options serve;
    serve.flashOut = options.flashOut;
    serve.exitAfterReset = options.exitAfterReset;
    serve.note = [](const std::string& text) {
        std::fprintf(stderr, "rtqsim: %s\n", text.c_str());
    };
    StreamServer server(serve);
    if (options.rfcommChannel != 0) {
        if (!server.ListenRfcomm(options.rfcommChannel, error)) return Run::NotStarted;
        std::cout << "rtqsim: listening on RFCOMM channel " << options.rfcommChannel << std::endl;
    } else {
        if (!server.ListenUnix(options.streamSocket, error)) return Run::NotStarted;
        std::cout << "rtqsim: listening on " << options.streamSocket << std::endl;
    }
    return server.Serve(printer, g_stopPipe[0], error) ? Run::Served : Run::Failed;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rtq::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    RtqsimOptions options;
    std::string error;
    if (!ParseRtqsimArgs(args, &options, &error)) {
        std::cerr << "rtqsim: " << error << "\n";
        return 64;
    }
    if (options.help) {
        std::cout << RtqsimUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "rtqsim " << rtq::kVersion << "\n";
        return 0;
    }
    if (!InstallSignals()) {
        std::perror("rtqsim: signals");
        return 1;
    }

    SimPrinter printer(options.config);
    for (const FaultRule& rule : options.faults) printer.AddFault(rule);
    if (!options.flashIn.empty() && !printer.LoadFlash(options.flashIn, &error)) {
        std::cerr << "rtqsim: " << error << "\n";
        return 1;
    }
    if (options.verbose) {
        printer.SetObserver([](const SimEvent& e) {
            std::fprintf(stderr, "rtqsim: %s\n", DescribeEvent(e).c_str());
        });
    }

    Run run;
    if (options.rfcommChannel != 0 || !options.streamSocket.empty())
        run = ServeStream(printer, options, &error);
    else if (!options.serialDevice.empty())
        run = ServeNode(printer, options, std::make_unique<TtyNode>(options.serialDevice),
                        "serial device", &error);
    else if (!options.usb.empty())
        run = ServeNode(printer, options,
                        std::make_unique<PrinterNode>(options.usb, options.verbose), "USB printer",
                        &error);
    else
        run = ServePty(printer, options, &error);
    if (run != Run::Served) std::cerr << "rtqsim: " << error << "\n";
    if (run == Run::NotStarted) return 1;
    bool ok = run == Run::Served;
    if (!options.flashOut.empty()) {
        if (!SaveFlashAtomically(printer, options.flashOut, &error)) {
            std::cerr << "rtqsim: " << error << "\n";
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
