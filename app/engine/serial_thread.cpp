#include "engine/serial_thread.h"

SerialThread::SerialThread() : thread_([this] { Run(); }) {}

SerialThread::~SerialThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    ready_.notify_one();
    thread_.join();
}

void SerialThread::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
    }
    ready_.notify_one();
}

void SerialThread::Run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return ending_ || !queue_.empty(); });
            if (queue_.empty()) return;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
    }
}
