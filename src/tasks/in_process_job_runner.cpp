#include "in_process_job_runner.h"

namespace velquist {

JobOutcome InProcessJobRunner::Run(const ConvertTask& task, const std::atomic<bool>&) {
    ConversionOutcome outcome = RunConversion(task);
    if (outcome.status == kTaskSucceeded) {
        return {kTaskSucceeded, {}};
    }
    std::string& text = outcome.diagnostics;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const auto lastBreak = text.rfind('\n');
    return {kTaskFailed, lastBreak == std::string::npos ? text : text.substr(lastBreak + 1),
            outcome.kind};
}

} // namespace velquist
