#pragma once
// A lock shared between threads (the disc writer's cache queue). Recursive like the system's
// critical section, so a routine that holds it may call another that takes it again.

#include <mutex>

namespace gui {

class TCriticalSection {
  public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    // Lockable, so std::lock_guard and std::unique_lock take it too.
    void lock() { Enter(); }
    void unlock() { Leave(); }

  private:
    std::recursive_mutex mutex_;
};

} // namespace gui
