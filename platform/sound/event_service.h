// Events of the sound API: each has a sink, and signalling an event calls
// the sink's DXCallback with its id. Signals are queued without blocking
// (audio threads signal too) and delivered through the program's dispatcher,
// which runs each delivery on the program's own thread, one at a time.
//
// The queue is bounded. A signal that finds it full is not dropped: it goes
// to a small table of overflowed events, where repeated signals of one
// event coalesce into one delivery, made after everything queued before
// it. While that table holds anything, later signals join it too, so an
// event is not delivered ahead of one that overflowed before it. Only when
// more than kOverflowSlots different events overflow at once is a signal
// lost; Lost() counts those and the delivery side reports them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "com/types.h"
#include "sound/event_queue.h"

// The sink of sound events.
struct DirectXEvent8 {
    virtual void DXCallback(LONG eventid) = 0;

  protected:
    ~DirectXEvent8() = default;
};

// Runs a delivery on the program's thread.
using Dispatcher = std::function<void(std::function<void()>)>;

class EventService {
  public:
    static EventService& Instance();

    // Until a program installs its own, deliveries run on the delivery thread.
    void SetDispatcher(Dispatcher dispatcher);
    LONG CreateEvent(DirectXEvent8* sink);
    void DestroyEvent(LONG id);
    // Queues a signal; safe on an audio thread (no lock, no allocation).
    void Signal(LONG id);
    // Hands every queued signal to the dispatcher now, on this thread.
    void DeliverPending();
    // Delivers signals from a thread of the service's own, as they come.
    void StartDeliveryThread();
    void StopDeliveryThread();
    bool DeliveryThreadRunning() const { return running_.load(std::memory_order_acquire); }

    // Signals that found the queue full, and those of them lost.
    unsigned long Overflows() const { return overflows_.load(std::memory_order_relaxed); }
    unsigned long Lost() const { return lost_.load(std::memory_order_relaxed); }

    static constexpr std::size_t kOverflowSlots = 64;

  private:
    EventService() = default;
    ~EventService();
    void Deliver(LONG id);
    void Overflow(LONG id);
    void ReportLost();

    EventQueue queue_;
    std::array<std::atomic<LONG>, kOverflowSlots> overflowed_{};  // 0: free
    std::atomic<bool> overflowing_{false};
    std::atomic<unsigned long> overflows_{0}, lost_{0};
    std::atomic<unsigned long> lostReported_{0};
    std::mutex mutex_;  // sinks, dispatcher; never taken by audio threads
    // Held while a delivery is handed to the dispatcher, so that one that
    // is replaced is no longer used once SetDispatcher returns.
    std::mutex dispatchMutex_;
    std::map<LONG, DirectXEvent8*> sinks_;
    LONG nextId_ = 0;
    Dispatcher dispatcher_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> wake_{0};
};

// A dispatcher for programs without an event loop of their own (tests,
// tools): deliveries wait in a queue until the owner runs them. The owner
// removes it from the service (SetDispatcher) before destroying it.
class ManualDispatcher {
  public:
    Dispatcher AsDispatcher();
    // Runs what is queued; returns how many ran.
    int RunPending();
    // Waits up to timeoutMs for something to run, then runs all of it.
    int WaitAndRun(int timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
};
