// The monitor's side of a moved stream: while the stream stays disconnected, the balancer is
// asked again now and then, and the subscriber is moved to the port it names. ZeroMQ sends the
// socket's filters to the new peer by itself, so every subscription carries over.
#include <algorithm>

#include "api/reply_reading.h"
#include "session/processor.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {

// One exchange with the balancer; a stop cancels it sooner.
constexpr std::chrono::seconds kAskBound{5};

}  // namespace

void Processor::followStreamMove(StreamMoveWatch& watch) {
    auto const now = StreamMoveWatch::Clock::now();
    if (streamMonitor_.counts().connected) {
        watch.lastConnected = now;
        watch.interval = StreamMoveWatch::kAskAfter;
        return;
    }
    if (now - watch.lastConnected < StreamMoveWatch::kAskAfter || now < watch.nextAsk) {
        return;
    }
    watch.nextAsk = now + watch.interval;
    watch.interval = std::min(watch.interval * 2, StreamMoveWatch::kLongestInterval);
    auto const port = api::replyNumber(getZMQPort(now + kAskBound), api::ErrorStatus::asFailure);
    if (!port || port.value() < 1 || port.value() > 65535 || !monitorRunning_) {
        return;
    }
    std::string const current = endpoint();
    std::string const moved =
        current.substr(0, current.rfind(':') + 1) + std::to_string(port.value());
    if (moved == current) {
        return;
    }
    trace::text("The stream moved to ", moved);
    if (!commands_.change(StreamCommands::Kind::disconnect, current) ||
        !commands_.change(StreamCommands::Kind::connect, moved)) {
        return;
    }
    setStreamEndpoint(moved);
    health_.moves.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace corvo::session
