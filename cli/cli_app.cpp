#include "cli/cli_app.h"

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/last_error.h"

namespace rtq::cli {

std::string ResultLine(int code) {
    bool shown = false;
    const std::string text =
        ResultText(code, rtq::LastErrorText(), g_strFriendlyName, g_strPinCode, &shown);
    std::string line = "result " + std::to_string(code);
    if (shown) line += ": " + text;
    return line;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal) {
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        err << "rtqflash-cli: " << parsed.error << "\n" << UsageText();
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    if (options.command == Command::Help) {
        out << UsageText();
        return 0;
    }
    const int result = options.command == Command::Flash
                           ? RunFlash(options, err, errIsTerminal)
                           : RunCheck(options, out, err);
    const std::string hint = FailureHint(result);
    if (!hint.empty()) err << "rtqflash-cli: " << hint << "\n";
    out << ResultLine(result) << "\n";
    out.flush();
    return ExitStatusForResult(result);
}

}  // namespace rtq::cli
