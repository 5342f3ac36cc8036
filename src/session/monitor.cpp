// The monitor thread: owns the session's ZeroMQ context, creates the stream socket, watches
// its connection events, and starts the subscriber thread. It ends when the session stops or
// the subscriber ends, and it ends last: the context is terminated before monitorAlive_ falls,
// so no thread of the session outlives it.
#include <memory>
#include <optional>

#include "api/reply_reading.h"
#include "platform/platform.h"
#include "session/processor.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {

constexpr char kMonitorAddress[] = "inproc://monitorc";
constexpr int kEveryEvent = 65535;
constexpr std::chrono::milliseconds kSubscriberStartDelay{2000};
// Bound on one wait for a socket event, so a stop is noticed even when no event comes.
constexpr int kEventWaitMs = 100;

// The pause is taken in slices so that a stop ends it at once.
constexpr std::chrono::milliseconds kPauseSlice{20};

bool hasEnded(const std::future<void>& ended) {
    return ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

}  // namespace

void Processor::runMonitor() {
    trace::text("[Thread] ZMQ Monitor Started ");
    trace::text("[Thread] 1");
    auto subscriberEnd = std::make_shared<std::promise<void>>();
    std::future<void> subscriberEnded = subscriberEnd->get_future();
    bool subscriberStarted = false;
    std::optional<zmq::context_t> context;
    streamMonitor_.resetCounts();
    try {
        context.emplace();
        context->set(zmq::ctxopt::io_threads, 1);
        context->set(zmq::ctxopt::max_sockets, 1023);
        trace::text("[Thread] 2 ");
        streamSocket_ = zmq::socket_t(*context, zmq::socket_type::sub);
        commands_.open(*context);
        streamMonitor_.init(streamSocket_, kMonitorAddress, kEveryEvent);
        bool const quick = quickStart_;
        StreamMoveWatch moveWatch;
        if (!quick) {
            pauseUnlessStopped(kSubscriberStartDelay);
        }
        trace::text("Subscribing to server ", endpoint());
        subscriberThread_ = std::thread([this, subscriberEnd] {
            runSubscriber();
            subscriberEnd->set_value();
        });
        subscriberStarted = true;
        std::uint64_t const streamedBefore = subscribeTop20();
        if (quick) {
            // The start waits for this: the handshake made and the filter set, before the
            // snapshot's exchange.
            watchEvents(subscriberEnded, moveWatch,
                        [this] { return streamMonitor_.counts().connects > 0; });
            streamReady_ = streamMonitor_.counts().connects > 0;
            noteStartProgress();
        }
        if (monitorRunning_) {
            fetchTop20Snapshot(streamedBefore);
        }
        watchEvents(subscriberEnded, moveWatch, [] { return false; });
    } catch (const std::exception& error) {
        trace::text("[Thread] ZMQ Monitor failed: ", error.what());
        running_ = false;
        commands_.wake();
    }
    trace::text("[Thread] Stopping ZMQ Monitor ");
    if (subscriberStarted) {
        subscriberThread_.join();
    } else {
        closeStreamSocket();
        commands_.close();
    }
    streamMonitor_.releasePairSocket();
    context.reset();
    monitorRunning_ = false;
    trace::text("[Thread] ZMQ Monitor End ");
    monitorAlive_ = false;
    noteStartProgress();
}

void Processor::pauseUnlessStopped(std::chrono::milliseconds pause) const {
    for (auto waited = std::chrono::milliseconds(0); waited < pause && monitorRunning_;
         waited += kPauseSlice) {
        platform::pause(kPauseSlice);
    }
}

std::uint64_t Processor::subscribeTop20() {
    if (!commands_.change(StreamCommands::Kind::subscribe, "Top20")) {
        throw std::runtime_error("the Top20 filter was refused");
    }
    return top20StreamCount();
}

void Processor::fetchTop20Snapshot(std::uint64_t streamedBefore) {
    // As the legacy hosts always saw it: an error status's body, or "0" after a failed exchange.
    storeTop20Snapshot(api::legacyText(api::replyBody(getTop20Datas(), api::ErrorStatus::asReply)),
                       streamedBefore);
}

template <class Done>
void Processor::watchEvents(const std::future<void>& subscriberEnded, StreamMoveWatch& moveWatch,
                            Done&& done) {
    while (monitorRunning_ && !hasEnded(subscriberEnded) && !done()) {
        followStreamMove(moveWatch);
        try {
            streamMonitor_.check_event(kEventWaitMs);
        } catch (const zmq::error_t& error) {
            // A signal interrupting the wait is not a failure of the session.
            if (error.num() != EINTR) {
                throw;
            }
        }
    }
}

}  // namespace corvo::session
