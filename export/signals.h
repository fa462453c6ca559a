// SIGINT, SIGTERM and SIGHUP as a request to stop: the run notices it
// between messages, so that every output it leaves holds whole messages,
// and then ends as the signal would have ended it.
#ifndef VESTIBAR_EXPORT_SIGNALS_H
#define VESTIBAR_EXPORT_SIGNALS_H

namespace vexport {

class StopSignals {
public:
    // Catches the signals until destroyed (the previous handlers back then).
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked to stop, 0 when none has.
    static int Received();
    // "SIGINT", "SIGTERM", ...
    static const char* Name(int signal);
    // Ends the process by `signal` with its default action, so that the
    // caller (a shell, a timeout) sees the status it expects.
    [[noreturn]] static void EndBy(int signal);
};

}  // namespace vexport

#endif
