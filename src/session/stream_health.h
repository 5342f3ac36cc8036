// Counters of the stream's health, written where the store already holds its gate (or by the
// subscriber thread alone) and read by anyone without a lock, so reading them never holds up
// the stream.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace corvo::session {

struct StreamHealth {
    static constexpr std::int64_t kNever = -1;

    // Stamps and ages are only ever compared with each other, so the system's coarse clock
    // serves: the subscriber reads it once per message.
    static std::int64_t nowMs() { return platform::coarseMilliseconds(); }

    // One more message of `messageBytes` filed. Only the subscriber thread files, so a plain
    // load and store keep the counts exact without a locked addition per message.
    void countMessage(std::uint64_t messageBytes) {
        messages.store(messages.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        bytes.store(bytes.load(std::memory_order_relaxed) + messageBytes,
                    std::memory_order_relaxed);
    }

    std::atomic<std::uint64_t> messages{0};  // filed, Top20 included
    std::atomic<std::uint64_t> bytes{0};     // topic and payload bytes filed
    std::atomic<std::uint64_t> dropped{0};   // single frames, records that never fit; any thread
    // Stamped by the subscriber as each message arrives, before the store gate is taken.
    std::atomic<std::int64_t> lastMessageMs{kNever};
    std::atomic<std::int64_t> top20Ms{kNever};
    std::atomic<std::uint64_t> topics{0};         // records stored
    std::atomic<std::uint64_t> pending{0};        // updated and deferred topics
    std::atomic<std::uint64_t> subscriptions{0};  // instruments subscribed one by one
    std::atomic<std::uint64_t> moves{0};          // times the stream was followed elsewhere
};

}  // namespace corvo::session
