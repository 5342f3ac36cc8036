#include "session/stream_commands.h"

namespace corvo::session {
namespace {
constexpr const char* kWakeAddress = "inproc://corvo-stream-commands";
// ZeroMQ keeps filters in a trie that it walks recursively, one level per byte: a filter of
// hundreds of kilobytes exhausts the stack. No instrument code comes near this.
constexpr std::size_t kMaxFilterLength = 4096;
}  // namespace

void StreamCommands::open(zmq::context_t& context) {
    zmq::socket_t receiver(context, zmq::socket_type::pair);
    receiver.bind(kWakeAddress);
    zmq::socket_t sender(context, zmq::socket_type::pair);
    sender.connect(kWakeAddress);
    std::lock_guard<std::mutex> lock(mutex_);
    wakeReceiver_ = std::move(receiver);
    wakeSender_ = std::move(sender);
    open_ = true;
}

bool StreamCommands::change(Kind kind, std::string text) {
    if (text.size() > kMaxFilterLength) {
        return false;
    }
    std::future<bool> outcome;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            return false;
        }
        pending_.push_back(Change{kind, std::move(text), {}});
        outcome = pending_.back().outcome.get_future();
        hasPending_.store(true, std::memory_order_release);
        // A full wake queue already guarantees a wake-up, so a refused send is fine.
        (void)wakeSender_.send(zmq::const_buffer("", 0), zmq::send_flags::dontwait);
    }
    return outcome.get();
}

void StreamCommands::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) {
        (void)wakeSender_.send(zmq::const_buffer("", 0), zmq::send_flags::dontwait);
    }
}

void StreamCommands::runPending(zmq::socket_t& stream) {
    zmq::message_t signal;
    while (wakeReceiver_.recv(signal, zmq::recv_flags::dontwait)) {
    }
    std::vector<Change> changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changes.swap(pending_);
        hasPending_.store(false, std::memory_order_release);
    }
    for (auto& change : changes) {
        try {
            switch (change.kind) {
                case Kind::subscribe:
                    stream.set(zmq::sockopt::subscribe, change.text);
                    break;
                case Kind::unsubscribe:
                    stream.set(zmq::sockopt::unsubscribe, change.text);
                    break;
                case Kind::connect:
                    stream.connect(change.text);
                    break;
                case Kind::disconnect: {
                    // The peer left: what is queued for it is dropped rather than kept until
                    // the context ends, which a later stop would wait for.
                    int const linger = stream.get(zmq::sockopt::linger);
                    stream.set(zmq::sockopt::linger, 0);
                    stream.disconnect(change.text);
                    stream.set(zmq::sockopt::linger, linger);
                    break;
                }
            }
            change.outcome.set_value(true);
        } catch (const zmq::error_t&) {
            change.outcome.set_value(false);
        }
    }
}

void StreamCommands::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    for (auto& change : pending_) {
        change.outcome.set_value(false);
    }
    pending_.clear();
    hasPending_.store(false, std::memory_order_release);
    wakeSender_.close();
    wakeReceiver_.close();
}

}  // namespace corvo::session
