// A bounded queue of event ids that audio threads push into without locks
// or allocation, and one delivery side pops from (Vyukov's bounded queue).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

#include "com/types.h"

class EventQueue {
  public:
    EventQueue() {
        for (std::size_t i = 0; i < kSize; ++i)
            cells_[i].sequence.store(i, std::memory_order_relaxed);
    }

    // False when the queue is full (the event is then lost).
    bool Push(LONG id) {
        std::size_t pos = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& c = cells_[pos & (kSize - 1)];
            std::size_t seq = c.sequence.load(std::memory_order_acquire);
            auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
            if (diff == 0) {
                if (tail_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    c.id = id;
                    c.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    bool Pop(LONG* id) {
        std::size_t pos = head_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& c = cells_[pos & (kSize - 1)];
            std::size_t seq = c.sequence.load(std::memory_order_acquire);
            auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos + 1);
            if (diff == 0) {
                if (head_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    *id = c.id;
                    c.sequence.store(pos + kSize, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = head_.load(std::memory_order_relaxed);
            }
        }
    }

  private:
    static constexpr std::size_t kSize = 1024;
    struct Cell {
        std::atomic<std::size_t> sequence;
        LONG id;
    };
    std::array<Cell, kSize> cells_;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};
