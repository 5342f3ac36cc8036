// Following a stream that moved: an operator may restart the stream on another port, or send
// a client to another stream server, and says so only through the balancer. The monitor thread
// keeps one watch per session.
#pragma once

#include <chrono>

namespace corvo::session {

struct StreamMoveWatch {
    using Clock = std::chrono::steady_clock;
    // Disconnected this long, the balancer is asked again; then at growing intervals.
    static constexpr std::chrono::seconds kAskAfter{3};
    static constexpr std::chrono::seconds kLongestInterval{30};

    Clock::time_point lastConnected = Clock::now();  // or the session's start
    Clock::time_point nextAsk = Clock::time_point::min();
    std::chrono::seconds interval = kAskAfter;
};

}  // namespace corvo::session
