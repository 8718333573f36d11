// Long work on a thread of its own (opening, saving, importing,
// exporting), so that the window never waits for it: a title for the
// user, the share done, and a way to cancel. When the work ends, its end
// (the error's text, or "" when it worked) is posted to the engine's
// thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/progress.h"

class BackgroundWork {
  public:
    using Poster = std::function<void(std::function<void()>)>;
    // run does the work on the new thread, telling progress the share
    // done; it is cancelled when progress answers false (run then throws
    // the cancelling AppError or returns). finish gets "" when it worked,
    // else the error's text, and whether it was cancelled; it runs through
    // post.
    BackgroundWork(std::string title, std::function<void(const Progress&)> run,
                   std::function<void(const std::string& error, bool cancelled)> finish,
                   Poster post);
    // Cancels the work and waits for it.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // "Saving “beat.loop”": what the user is told while it goes on.
    const std::string& Title() const { return title_; }
    double Done() const { return done_.load(std::memory_order_relaxed); }
    void Cancel() { thread_.request_stop(); }
    bool Cancelled() const { return thread_.get_stop_token().stop_requested(); }
    // Whether run has returned.
    bool Ended() const { return ended_.load(std::memory_order_acquire); }
    // Waits until run has returned.
    void Wait();

  private:
    std::string title_;
    std::atomic<double> done_{0};
    std::atomic<bool> ended_{false};
    std::jthread thread_;  // last: it starts once the rest is made
};
