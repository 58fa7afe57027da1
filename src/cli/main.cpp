#include "cli/cli_options.h"
#include "cli_run.h"
#include "decode/hevc_decoder.h"
#include "tasks/worker_protocol.h"
#include "worker_loop.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    velquist::RegisterHevcDecoder();
    const std::string program = argc > 0 ? argv[0] : "velquist-convert";
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.size() == 1 && args[0] == velquist::kWorkerLoopFlag) {
        return velquist::RunWorkerLoop();
    }
    if (args.size() == 1 && args[0] == velquist::kWorkerFlag) {
        return velquist::RunOneShotWorker();
    }
    const velquist::CliParseResult parsed = velquist::ParseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: %s (see --help)\n", program.c_str(), parsed.error.c_str());
        return 2;
    }
    switch (parsed.options.mode) {
    case velquist::CliOptions::Mode::kHelp:
        std::fputs(velquist::UsageText(program).c_str(), stdout);
        return 0;
    case velquist::CliOptions::Mode::kVersion:
        std::printf("velquist-convert %s\n", VELQUIST_VERSION);
        return 0;
    case velquist::CliOptions::Mode::kConvert:
        break;
    }
    return velquist::RunConvertMode(parsed.options, program);
}
