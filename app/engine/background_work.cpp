#include "engine/background_work.h"

#include "support/app_error.h"

BackgroundWork::BackgroundWork(std::string title, std::function<void(const Progress&)> run,
                               std::function<void(const std::string&, bool)> finish, Poster post)
    : title_(std::move(title)),
      thread_([this, run = std::move(run), finish = std::move(finish),
               post = std::move(post)](std::stop_token stop) {
          const Progress progress = [this, stop](double done) {
              done_.store(done, std::memory_order_relaxed);
              return !stop.stop_requested();
          };
          std::string error;
          try {
              run(progress);
          } catch (const std::exception& e) {
              error = ErrorText(e);
          }
          const bool cancelled = stop.stop_requested();
          ended_.store(true, std::memory_order_release);
          post([finish, error, cancelled] { finish(error, cancelled); });
      }) {}

BackgroundWork::~BackgroundWork() {
    thread_.request_stop();
    Wait();
}

void BackgroundWork::Wait() {
    if (thread_.joinable()) thread_.join();
}
