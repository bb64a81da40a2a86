#include "cli/cli_app.h"

#include <memory>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/json_output.h"
#include "cli/port_name.h"
#include "cli/progress_view.h"
#include "cli/text_escape.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/device_names.h"
#include "ports/wire_trace.h"

namespace rtq::cli {

namespace {

// The exact message of a code, empty for codes without one.
std::string ResultMessageText(int code) {
    bool shown = false;
    const std::string text =
        ResultText(code, rtq::LastErrorText(), g_strFriendlyName, g_strPinCode, &shown);
    return shown ? text : std::string();
}

std::unique_ptr<ProgressView> MakeView(const CliOptions& o, std::ostream& out, std::ostream& err,
                                       bool errIsTerminal) {
    if (o.quiet) return std::make_unique<SilentProgress>();
    if (o.json) return std::make_unique<JsonProgress>(out);
    if (errIsTerminal) return std::make_unique<TerminalProgress>(err);
    return std::make_unique<PlainProgress>(err);
}

// The cause line on err (when known), then the result on out; a success
// that downloaded nothing says what it was instead.
int Report(int result, bool json, int64_t startMs, std::ostream& out, std::ostream& err,
           const std::string& successText = std::string()) {
    const std::string hint = FailureHint(result);
    if (!hint.empty()) err << "rtqflash-cli: " << EscapeText(hint) << "\n";
    const int status = ExitStatusForResult(result);
    if (json) {
        RunSummary summary;
        summary.result = result;
        summary.message = ResultMessageText(result);
        summary.hint = hint;
        summary.exitStatus = status;
        summary.elapsedSeconds = std::max<int64_t>(0, rtq::SteadyMs() - startMs) / 1000.0;
        out << JsonResultLine(summary) << "\n";
    } else if (result == kResultSuccess && !successText.empty()) {
        out << "result " << result << ": " << EscapeText(successText) << "\n";
    } else {
        out << ResultLine(result) << "\n";
    }
    out.flush();
    return status;
}

// The files of the run that the trace must not be written to.
std::vector<rtq::NotATraceFile> RunFiles(const CliOptions& o) {
    std::vector<rtq::NotATraceFile> files;
    if (o.fileGiven) files.push_back({"the data file", o.file});
    std::string port;
    if (!o.usb && ResolvePort(o.port, &port) == kResultSuccess)
        files.push_back({"the port", rtq::DevicePathForPort(port)});
    return files;
}

}  // namespace

std::string ResultLine(int code) {
    const std::string text = ResultMessageText(code);
    std::string line = "result " + std::to_string(code);
    if (!text.empty()) line += ": " + EscapeText(text);
    return line;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal) {
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        err << "rtqflash-cli: " << EscapeText(parsed.error) << "\n";
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    const int64_t startMs = rtq::SteadyMs();
    switch (options.command) {
        case Command::Help:
        case Command::Version:
            out << parsed.text;
            return 0;
        case Command::List:
            return RunList(options, out);
        case Command::Check: {
            std::string checked;
            const int result = RunCheck(options, out, err, &checked);
            if (result == kCheckNothingToCheck) return kExitUsage;
            return Report(result, false, startMs, out, err, checked);
        }
        case Command::Flash:
            break;
    }
    // From here to the result line no signal ends the process: the port's
    // lock and the printer's flash are left in order.
    const InterruptGuard interruptGuard;
    // Asked for, a trace that cannot be written stops the run before the
    // printer is touched.
    std::string traceError;
    if (options.traceGiven && !rtq::StartWireTrace(options.trace, &traceError, RunFiles(options))) {
        err << "rtqflash-cli: " << EscapeText(traceError) << "\n";
        return kExitUsage;
    }
    const std::unique_ptr<ProgressView> view = MakeView(options, out, err, errIsTerminal);
    const int result = RunFlash(options, *view, err);
    view->End();
    // The workers of the run have ended.
    if (options.traceGiven) rtq::StopWireTrace();
    return Report(result, options.json, startMs, out, err);
}

}  // namespace rtq::cli
