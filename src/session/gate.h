// A gate: a mutex held across a guarded section. Taken only through Gate::Section, so every path
// out of a section releases it.
#pragma once

#include <mutex>

namespace corvo::session {

class Gate {
  public:
    class Section {
      public:
        explicit Section(Gate& gate) : lock_(gate.mutex_) {}
        Section(const Section&) = delete;
        Section& operator=(const Section&) = delete;

      private:
        std::lock_guard<std::mutex> lock_;
    };

  private:
    std::mutex mutex_;
};

}  // namespace corvo::session
