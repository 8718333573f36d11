// Ending the program on SIGINT, SIGTERM, SIGHUP (its terminal closed) and
// SIGQUIT through its event loop. The signal handler only writes the
// signal's number to a pipe; the event loop reads it and calls the
// program's ending, where anything may be done. SIGPIPE is ignored while
// this lives: a write to a closed pipe or socket is an error the writer
// sees, not the end of the program.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

class TerminationSignals {
  public:
    // While this lives, those signals call onSignal(number) from the event
    // loop instead of ending the process at once.
    explicit TerminationSignals(std::function<void(int)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The exit status for a signal: 128 + its number for SIGINT, SIGHUP and
    // SIGQUIT (as shells report a program a signal interrupted), 0 for
    // SIGTERM (asked to end, and did).
    static int ExitStatus(int signal);

  private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> onSignal_;
};
