// The run's counters and, on a terminal, the one line that shows them:
// the mailbox (k of n), messages and bytes done of the whole run, the rate
// and the time left, redrawn a few times a second to fit the terminal.
#ifndef VESTIBAR_EXPORT_PROGRESS_H
#define VESTIBAR_EXPORT_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexport {

// What the run has done so far and what it has before it; the summary
// and the progress line read these, not the writers.
struct RunCounters {
    std::uint32_t mailboxes = 0;     // of the run
    std::uint32_t mailbox = 0;       // the one being written, from 1
    std::uint64_t steps = 0;         // records or entries of the run, deleted ones counted
    std::uint64_t stepsDone = 0;
    std::uint64_t bytes = 0;         // mailbox bytes of the run
    std::uint64_t bytesDone = 0;
    std::uint32_t exported = 0;      // messages written
    std::uint32_t deletedExported = 0;
    std::uint32_t undated = 0;       // written with the mailbox file's time for a Date that cannot be read
    std::uint32_t mailboxesDone = 0;
    std::uint32_t kept = 0;          // of `exported`, found whole in the output (--resume)
};

// The line for `counters` after `seconds`, no wider than `columns`
// terminal columns (East Asian wide characters count two); the mailbox
// `name` is shortened in its middle, then the rest from the right.
std::string ProgressLine(const RunCounters& counters, std::string_view name, double seconds, int columns);

// Columns that UTF-8 `text` takes on a terminal.
int DisplayWidth(std::string_view text);

class Progress {
public:
    Progress(bool shown, const RunCounters& counters) : shown_(shown), counters_(counters), start_(Clock::now()) {}
    ~Progress() { Clear(); }
    void Mailbox(const std::string& name) { name_ = name; }
    // Redraws when a quarter of a second has passed since the last time.
    void Update();
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    bool shown_;
    const RunCounters& counters_;
    Clock::time_point start_, next_{};
    bool drawn_ = false;
    std::string name_;
};

}  // namespace vexport

#endif
