#include "sound/event_service.h"

#include <chrono>

EventService& EventService::Instance() {
    // Never destroyed: buffers stopping while the program exits still signal.
    static EventService& service = *new EventService;
    return service;
}

EventService::~EventService() {
    StopDeliveryThread();
}

void EventService::SetDispatcher(Dispatcher dispatcher) {
    std::lock_guard<std::mutex> lock(mutex_);
    dispatcher_ = std::move(dispatcher);
}

LONG EventService::CreateEvent(DirectXEvent8* sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    LONG id = ++nextId_;
    sinks_[id] = sink;
    return id;
}

void EventService::DestroyEvent(LONG id) {
    std::lock_guard<std::mutex> lock(mutex_);
    sinks_.erase(id);
}

void EventService::Signal(LONG id) {
    queue_.Push(id);
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_one();
}

void EventService::Deliver(LONG id) {
    Dispatcher dispatch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!sinks_.count(id)) return;
        dispatch = dispatcher_;
    }
    // The sink is looked up again when the delivery runs: an event
    // destroyed meanwhile is not delivered.
    auto call = [this, id] {
        DirectXEvent8* sink = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = sinks_.find(id);
            if (it != sinks_.end()) sink = it->second;
        }
        if (sink) sink->DXCallback(id);
    };
    if (dispatch)
        dispatch(call);
    else
        call();
}

void EventService::DeliverPending() {
    LONG id;
    while (queue_.Pop(&id)) Deliver(id);
}

void EventService::StartDeliveryThread() {
    bool expected = false;
    if (!running_.compare_exchange_strong(expected, true)) return;
    thread_ = std::thread([this] {
        while (running_.load(std::memory_order_acquire)) {
            int seen = wake_.load(std::memory_order_acquire);
            DeliverPending();
            wake_.wait(seen, std::memory_order_acquire);
        }
        DeliverPending();
    });
}

void EventService::StopDeliveryThread() {
    if (!running_.exchange(false)) return;
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

Dispatcher ManualDispatcher::AsDispatcher() {
    return [this](std::function<void()> f) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(f));
        }
        ready_.notify_one();
    };
}

int ManualDispatcher::RunPending() {
    std::deque<std::function<void()>> now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now.swap(queue_);
    }
    for (auto& f : now) f();
    return static_cast<int>(now.size());
}

int ManualDispatcher::WaitAndRun(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return !queue_.empty(); });
    }
    return RunPending();
}
