// Watches the transport the output follows (JACK's) from a thread of its
// own, every few milliseconds, and says when something a player must act
// on happened: it began starting (it waits at a frame for its slow
// clients), started or stopped rolling, was moved while rolling, or its
// tempo changed. The output's callback only publishes what it saw;
// all acting happens on the watcher's side.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "sound/sound_device.h"

class TransportWatch {
  public:
    using See = std::function<TransportView()>;
    // The view, when it was first seen, and whether the transport moved
    // while rolling (a relocation).
    using Changed = std::function<void(
        const TransportView& view, std::chrono::steady_clock::time_point seenAt, bool relocated)>;
    TransportWatch(See see, Changed changed);
    ~TransportWatch();
    TransportWatch(const TransportWatch&) = delete;
    TransportWatch& operator=(const TransportWatch&) = delete;

  private:
    void Run();

    See see_;
    Changed changed_;
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: it starts once the rest is made
};
