// The stream's health during a watch, read from corvo_status, so a user sees when data stops
// flowing even though nothing else on the screen changes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "library_loader.h"
#include "output.h"

namespace corvo::host {

struct HealthSample {
    Json status;  // the corvo_status object as the library gave it
    // From the "messages" delta since the previous sample; null at the first.
    std::optional<double> messagesPerSecond;
};

class HealthProbe {
  public:
    explicit HealthProbe(const Exports& exports) : exports_(exports) {}
    // Throws CallFailed when corvo_status fails.
    HealthSample sample();

  private:
    using Clock = std::chrono::steady_clock;

    const Exports& exports_;
    std::optional<Clock::time_point> previousAt_;
    std::uint64_t previousMessages_ = 0;
};

// One line for the live table, e.g. "stream tcp://127.0.0.1:5556: connected  312.5 msg/s
// last message 4 ms ago  reconnects 0".
std::string healthLine(const HealthSample& sample);

// The piped form: {"health":{<the status members>,"messages_per_second":...}}, the rate in
// tenths.
Json healthRecord(const HealthSample& sample);

}  // namespace corvo::host
