#include "report/GccFormat.h"

#include "report/TextOutput.h"

Formatter gccFormat(std::ostream& out, const FormatOptions& options, const Tally& tally) {
    Formatter format;
    const bool colour = options.colour;
    format.finding = [&out, colour](const Facts&, const ShownFinding& shown) {
        TextOutput::finding(out, shown, colour);
    };
    format.failed = [&out, colour](const std::string& shownDir, const std::string& problem) {
        TextOutput::failure(out, shownDir, problem, colour);
    };
    const bool quiet = options.quiet;
    format.finish = [&out, &tally, quiet]() {
        // Quiet: a clean run prints nothing at all, so that a job run by
        // cron sends no mail.
        if (quiet && tally.shown() == 0 && tally.failed == 0) {
            return;
        }
        TextOutput::summary(out, tally);
    };
    return format;
}
