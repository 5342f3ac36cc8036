// The subscriber thread: CURVE set-up, connect, then file every message into the store until
// the session stops. Once it runs it is the only thread that touches the stream socket; filter
// changes reach it through the command channel, which also wakes it when the session stops.
#include <zmq.h>

#include "corvo/build_constants.h"
#include "session/processor.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {

constexpr std::chrono::milliseconds kReceiveTimeout{5000};
// While the stream flows the subscriber waits in a plain receive on it: far fewer system
// calls per wake-up than polling two sockets, which at high rates is most of this thread's
// cost. Commands are looked at between messages; a quiet spell this long returns the thread
// to polling both sockets.
constexpr int kFlowingReceiveTimeoutMs = 20;
// Filed updates are announced to waiting hosts when the stream has nothing more queued, or
// after this many messages of a stream that never pauses: a waiting host is woken once per
// batch, which at high rates spares the filing thread a wake-up per message, and never later
// than this many messages after its update was filed.
constexpr unsigned kAnnounceAtMost = 64;

struct CurveKeys {
    std::string serverPublic;
    std::string clientPublic;
    std::string clientSecret;
};

CurveKeys makeCurveKeys() {
    char serverPublic[41] = {};
    char clientPublic[41] = {};
    char clientSecret[41] = {};
    if (zmq_curve_public(serverPublic, build::kCurveServerSecret) != 0 ||
        zmq_curve_keypair(clientPublic, clientSecret) != 0) {
        throw zmq::error_t();
    }
    return {std::string(serverPublic, 40), std::string(clientPublic, 40),
            std::string(clientSecret, 40)};
}

void configure(zmq::socket_t& socket, const CurveKeys& keys) {
    socket.set(zmq::sockopt::curve_serverkey, keys.serverPublic);
    socket.set(zmq::sockopt::curve_publickey, keys.clientPublic);
    socket.set(zmq::sockopt::curve_secretkey, keys.clientSecret);
    socket.set(zmq::sockopt::rcvtimeo, static_cast<int>(kReceiveTimeout.count()));
    socket.set(zmq::sockopt::linger, 2500);
    // IPv6 endpoints as well as IPv4 ones.
    socket.set(zmq::sockopt::ipv6, 1);
    socket.set(zmq::sockopt::tcp_keepalive, 1);
    socket.set(zmq::sockopt::tcp_keepalive_idle, 300);
    socket.set(zmq::sockopt::tcp_keepalive_intvl, 30);
}

// Waits for input on either socket; a signal interrupting the wait is not an error.
void waitForInput(zmq::pollitem_t (&items)[2]) {
    items[0].revents = 0;
    items[1].revents = 0;
    try {
        zmq::poll(items, 2, kReceiveTimeout);
    } catch (const zmq::error_t& error) {
        if (error.num() != EINTR) {
            throw;
        }
    }
}

// One frame, waiting at most the socket's receive time-out; false when none came. A signal
// interrupting the wait only repeats it, so a message is never cut between its frames.
bool receiveFrame(zmq::socket_t& socket, zmq::message_t& frame) {
    while (true) {
        try {
            return socket.recv(frame).has_value();
        } catch (const zmq::error_t& error) {
            if (error.num() != EINTR) {
                throw;
            }
        }
    }
}

std::string_view textOf(const zmq::message_t& frame) {
    return {static_cast<const char*>(frame.data()), frame.size()};
}

// One frame if one is queued already; false at once otherwise.
bool receiveQueuedFrame(zmq::socket_t& socket, zmq::message_t& frame) {
    try {
        return socket.recv(frame, zmq::recv_flags::dontwait).has_value();
    } catch (const zmq::error_t& error) {
        if (error.num() != EINTR) {
            throw;
        }
        return false;
    }
}

// Reused across messages so a steady stream allocates nothing beyond new records.
struct FilingBuffers {
    zmq::message_t topic;
    zmq::message_t frame;
    std::string record;
    // Filed updates not yet announced, and messages filed since the first of them.
    bool announcementOwed = false;
    unsigned filedSinceOwed = 0;
};

void announceOwed(Processor& processor, FilingBuffers& buffers) {
    if (buffers.announcementOwed) {
        processor.announceFiled();
        buffers.announcementOwed = false;
        buffers.filedSinceOwed = 0;
    }
}

// Receives one message and files it; false when none came within the receive time-out. While
// an announcement is owed, a queued message is taken without waiting; the announcement is made
// before the thread would wait. While none is owed (always so while nobody takes updates),
// the receive waits at once.
bool fileNextMessage(Processor& processor, zmq::socket_t& socket, FilingBuffers& buffers) {
    bool const takenQueued = buffers.announcementOwed && buffers.filedSinceOwed < kAnnounceAtMost &&
                             receiveQueuedFrame(socket, buffers.topic);
    if (!takenQueued) {
        announceOwed(processor, buffers);
        if (!receiveFrame(socket, buffers.topic)) {
            return false;
        }
    }
    if (!buffers.topic.more()) {
        processor.noteDropped();  // a single frame carries no payload
        return true;
    }
    auto& frame = buffers.frame;
    // The frames of one message arrive together, so this never waits.
    if (!receiveFrame(socket, frame)) {
        return true;
    }
    processor.stampMessageArrival();
    std::string_view const topic = textOf(buffers.topic);
    if (topic.find("Top20") != std::string_view::npos) {
        processor.storeTop20(textOf(frame), topic.size() + frame.size());
    } else {
        auto& record = buffers.record;
        record.clear();
        record.push_back('"');
        record.append(topic);
        record.append("\":");
        record.append(textOf(frame));
        buffers.announcementOwed |= processor.fileRecord(topic, record);
    }
    if (buffers.announcementOwed) {
        ++buffers.filedSinceOwed;
    }
    // Frames after the payload are read and ignored.
    while (frame.more() && receiveFrame(socket, frame)) {
    }
    return true;
}

}  // namespace

void Processor::runSubscriber() {
    trace::text("[Thread] ZMQ Subscriber started");
    try {
        configure(streamSocket_, makeCurveKeys());
        trace::text("Connecting to ", endpoint());
        streamSocket_.connect(endpoint());
        trace::text("Connected to ", endpoint());
        subscriberAlive_ = true;
        running_ = true;
        // A stop made while this thread was starting cleared the flags already; honour it.
        if (!monitorRunning_) {
            running_ = false;
        }
        noteStartProgress();
        receiveLoop();
        trace::text("Disconnecting from ", endpoint());
        // Filters still queued for a peer that never took them are dropped, not lingered on:
        // a stop never waits on the network.
        streamSocket_.set(zmq::sockopt::linger, 0);
        streamSocket_.set(zmq::sockopt::unsubscribe, "");
        streamSocket_.disconnect(endpoint());
    } catch (const std::exception& error) {
        trace::text("[Thread] ZMQ Subscriber failed: ", error.what());
        running_ = false;
    }
    closeStreamSocket();
    commands_.close();
    trace::text("Discoonnected from ", endpoint());
    trace::text("[Thread] ZMQ Subscriber stopped");
    subscriberAlive_ = false;
}

void Processor::closeStreamSocket() {
    if (streamSocket_.handle() != nullptr) {
        streamMonitor_.stopWatching();
        streamSocket_.close();
    }
}

void Processor::receiveLoop() {
    streamSocket_.set(zmq::sockopt::rcvtimeo, kFlowingReceiveTimeoutMs);
    zmq::pollitem_t items[2] = {{streamSocket_.handle(), 0, ZMQ_POLLIN, 0},
                                {commands_.wakeSocket().handle(), 0, ZMQ_POLLIN, 0}};
    FilingBuffers buffers;
    bool flowing = false;
    while (running_) {
        bool woken = false;
        if (!flowing) {
            waitForInput(items);
            woken = (items[1].revents & ZMQ_POLLIN) != 0;
            flowing = (items[0].revents & ZMQ_POLLIN) != 0;
        }
        if (flowing) {
            flowing = fileNextMessage(*this, streamSocket_, buffers);
        }
        if (woken || commands_.hasPending()) {
            commands_.runPending(streamSocket_);
        }
    }
    announceOwed(*this, buffers);
}

}  // namespace corvo::session
