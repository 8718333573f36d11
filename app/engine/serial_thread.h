// A thread of the engine's own that runs what it is given one at a time,
// in the order given. Post hands work over and returns; Call waits for
// the work and gives back its result or its exception. The thread never
// waits for whoever posts, so a caller may wait for it.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>

class SerialThread {
  public:
    SerialThread();
    // Runs what was posted before, then ends the thread.
    ~SerialThread();
    SerialThread(const SerialThread&) = delete;
    SerialThread& operator=(const SerialThread&) = delete;

    void Post(std::function<void()> work);
    // Runs work on the thread and waits for it (at once when called from
    // the thread itself).
    template <class F>
    auto Call(F&& work) -> std::invoke_result_t<F> {
        using R = std::invoke_result_t<F>;
        if (OnThread()) return work();
        std::packaged_task<R()> task(std::forward<F>(work));
        std::future<R> done = task.get_future();
        Post([&task] { task(); });
        return done.get();
    }
    // Waits until everything posted so far has run.
    void Flush() {
        Call([] {});
    }
    bool OnThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool ending_ = false;
    std::thread thread_;
};
