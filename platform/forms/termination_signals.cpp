#include "forms/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The pipe's write end, for the handler (a handler can reach nothing else).
volatile sig_atomic_t writeEnd = -1;

void OnSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (writeEnd >= 0) (void)!::write(writeEnd, &byte, 1);
    errno = saved;
}

void Handle(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // signals then end at once
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char byte = 0;
        while (::read(pipe_[0], &byte, 1) == 1)
            if (onSignal_) onSignal_(byte);
    });
    for (int number : kEnding) Handle(number, OnSignal);
    Handle(SIGPIPE, SIG_IGN);
}

TerminationSignals::~TerminationSignals() {
    for (int number : kEnding) Handle(number, SIG_DFL);
    writeEnd = -1;
    notifier_.reset();
    for (int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

int TerminationSignals::ExitStatus(int signal) {
    return signal == SIGTERM ? 0 : 128 + signal;
}
