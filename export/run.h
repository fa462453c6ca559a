// One run of the exporter over its sources.
#ifndef VESTIBAR_EXPORT_RUN_H
#define VESTIBAR_EXPORT_RUN_H

#include <string>
#include <vector>

#include "writer.h"

namespace vexport {

struct RunOptions {
    Format format = Format::kMbox;
    std::string output;
    std::vector<std::string> sources;  // store folders and mailbox files
    bool includeDeleted = false;
    bool preferEuc = false;
    bool raw = false;  // mbox, maildir: the stored bytes rather than the readable form
    bool keepGoing = false;
    bool quiet = false;
    bool list = false;
    bool resume = false;  // go on with an output an earlier run of the same store left
    bool recover = false;  // also the records the walks do not reach (recover.h)
};

// Exit codes.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitSkipped = 3 };

// Runs the export (or the listing) and returns the exit code; reports go
// to stderr, the listing and the summary to stdout.
int Run(const RunOptions& options);

}  // namespace vexport

#endif
