#include "sound/event_service.h"

#include <chrono>
#include <cstdio>

EventService& EventService::Instance() {
    // Never destroyed: buffers stopping while the program exits still signal.
    static EventService& service = *new EventService;
    return service;
}

EventService::~EventService() {
    StopDeliveryThread();
}

void EventService::SetDispatcher(Dispatcher dispatcher) {
    // A delivery handing a signal to the old dispatcher finishes first:
    // once this returns, nothing reaches it.
    std::lock_guard<std::mutex> handing(dispatchMutex_);
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
    if (overflowing_.load(std::memory_order_acquire) || !queue_.Push(id)) Overflow(id);
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_one();
}

void EventService::Overflow(LONG id) {
    overflows_.fetch_add(1, std::memory_order_relaxed);
    // Slots fill from the front, so one event finds its own slot before a
    // free one behind it (barring a drain in between: then it is delivered
    // twice, never lost).
    bool kept = false;
    for (auto& slot : overflowed_) {
        LONG seen = 0;
        if (slot.compare_exchange_strong(seen, id, std::memory_order_acq_rel) || seen == id) {
            kept = true;
            break;
        }
    }
    if (!kept) lost_.fetch_add(1, std::memory_order_relaxed);
    // Raised after the slot is taken: a drain that clears it first finds
    // it raised again and drains once more.
    overflowing_.store(true, std::memory_order_release);
}

void EventService::ReportLost() {
    const unsigned long lost = Lost(), before = lostReported_.exchange(lost);
    if (lost != before)
        std::fprintf(stderr,
                     "sound events: %lu notifications lost: the program did not take them\n",
                     lost - before);
}

void EventService::Deliver(LONG id) {
    std::lock_guard<std::mutex> handing(dispatchMutex_);
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
    if (!overflowing_.load(std::memory_order_acquire)) return;
    // The queue is empty: what overflowed comes next, and new signals may
    // use the queue again. One that still lands in the table is taken by
    // this drain or the next.
    overflowing_.store(false, std::memory_order_release);
    for (auto& slot : overflowed_)
        if (LONG overflowed = slot.exchange(0, std::memory_order_acq_rel)) Deliver(overflowed);
    ReportLost();
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
        // Notified under the lock: an owner that runs the delivery and then
        // destroys the dispatcher cannot do so while this still uses it.
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(f));
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
