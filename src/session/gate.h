// A gate: a mutex held across a guarded section, with a free flag and a condition variable
// that the holder clears on entry and sets on exit. Taken only through Gate::Section, so every
// path out of a section releases it.
#pragma once

#include <condition_variable>
#include <mutex>

namespace corvo::session {

class Gate {
  public:
    class Section {
      public:
        explicit Section(Gate& gate) : gate_(gate), lock_(gate.mutex_) {
            if (!gate_.free_) {
                ++gate_.waiting_;
                gate_.cv_.wait(lock_, [this] { return gate_.free_; });
                --gate_.waiting_;
            }
            gate_.free_ = false;
        }
        Section(const Section&) = delete;
        Section& operator=(const Section&) = delete;
        ~Section() {
            gate_.free_ = true;
            // Waking costs a system call; it is only needed when someone waits.
            bool const wake = gate_.waiting_ > 0;
            lock_.unlock();
            if (wake) {
                gate_.cv_.notify_all();
            }
        }

      private:
        Gate& gate_;
        std::unique_lock<std::mutex> lock_;
    };

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool free_ = true;
    int waiting_ = 0;
};

}  // namespace corvo::session
