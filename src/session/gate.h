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
            gate_.cv_.wait(lock_, [this] { return gate_.free_; });
            gate_.free_ = false;
            gate_.cv_.notify_all();
        }
        Section(const Section&) = delete;
        Section& operator=(const Section&) = delete;
        ~Section() {
            gate_.free_ = true;
            lock_.unlock();
            gate_.cv_.notify_all();
        }

      private:
        Gate& gate_;
        std::unique_lock<std::mutex> lock_;
    };

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool free_ = true;
};

}  // namespace corvo::session
