// A bounded queue of plain values that any number of threads push to and
// pop from without a lock or an allocation (each slot carries a sequence
// number that says whose turn it is). A push onto a full queue fails at
// once: the caller counts what it drops.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

template <class T>
class RingQueue {
  public:
    // capacity is rounded up to a power of two.
    explicit RingQueue(std::size_t capacity) {
        std::size_t size = 2;
        while (size < capacity) size *= 2;
        mask_ = size - 1;
        slots_ = std::make_unique<Slot[]>(size);
        for (std::size_t i = 0; i < size; ++i) slots_[i].turn.store(i, std::memory_order_relaxed);
    }

    bool Push(const T& value) {
        std::size_t at = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Slot& s = slots_[at & mask_];
            const std::size_t turn = s.turn.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(turn) - static_cast<std::ptrdiff_t>(at);
            if (diff == 0) {
                if (tail_.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                    s.value = value;
                    s.turn.store(at + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;  // full
            } else {
                at = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    bool Pop(T& value) {
        std::size_t at = head_.load(std::memory_order_relaxed);
        for (;;) {
            Slot& s = slots_[at & mask_];
            const std::size_t turn = s.turn.load(std::memory_order_acquire);
            const auto diff =
                static_cast<std::ptrdiff_t>(turn) - static_cast<std::ptrdiff_t>(at + 1);
            if (diff == 0) {
                if (head_.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                    value = s.value;
                    s.turn.store(at + mask_ + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;  // empty
            } else {
                at = head_.load(std::memory_order_relaxed);
            }
        }
    }

  private:
    struct Slot {
        std::atomic<std::size_t> turn{0};
        T value{};
    };
    std::unique_ptr<Slot[]> slots_;
    std::size_t mask_ = 0;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};
