// The bookkeeping of one binary (a server module or the program): how many
// of its objects are alive and how many locks clients hold, which decides
// whether the module may be unloaded, and the module-wide lock. Each binary
// links its own copy of the runtime with hidden symbols, so each has its own.
#pragma once

#include <atomic>
#include <mutex>

#include "com/types.h"

class ComModule {
  public:
    static ComModule& Instance();

    void ObjectCreated() { objects_.fetch_add(1, std::memory_order_relaxed); }
    void ObjectDestroyed() { objects_.fetch_sub(1, std::memory_order_acq_rel); }
    void Lock() { locks_.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() { locks_.fetch_sub(1, std::memory_order_acq_rel); }
    LONG Objects() const { return objects_.load(std::memory_order_acquire); }
    LONG Locks() const { return locks_.load(std::memory_order_acquire); }
    bool CanUnload() const { return Objects() == 0 && Locks() <= 0; }

    // Guards module-wide state such as the name caches of the type library.
    std::mutex& Mutex() { return mutex_; }

  private:
    std::atomic<LONG> objects_{0};
    std::atomic<LONG> locks_{0};
    std::mutex mutex_;
};
