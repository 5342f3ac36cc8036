#include "peer/curve_publisher.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include <zmq.hpp>

namespace corvo::testing {
namespace {

constexpr char kWakeEndpoint[] = "inproc://curve-publisher-wake";
// How long restart() keeps retrying while the previous listener is still being torn down
// by ZeroMQ's I/O thread.
constexpr auto kRebindPatience = std::chrono::seconds(3);

std::string derivePublicKey(const std::string& secret) {
    char publicKey[41] = {};
    if (secret.size() != 40 || zmq_curve_public(publicKey, secret.c_str()) != 0) {
        throw std::invalid_argument("CurvePublisher: the secret must be a 40-character Z85 key");
    }
    return publicKey;
}

void sendFrames(zmq::socket_t& socket, const std::vector<std::string>& frames) {
    if (frames.empty()) {
        throw std::invalid_argument("CurvePublisher: a message needs at least one frame");
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto flags = i + 1 < frames.size() ? zmq::send_flags::sndmore : zmq::send_flags::none;
        socket.send(zmq::buffer(frames[i]), flags);
    }
}

}  // namespace

struct CurvePublisher::Impl {
    struct Command {
        enum class Kind { Publish, Burst, Flush, Stop, Restart, Quit };
        Kind kind = Kind::Flush;
        std::vector<std::string> frames;
        BurstMaker make;
        std::uint64_t count = 0;
        std::unique_ptr<std::promise<void>> done;  // set when a caller waits for the outcome
    };

    Impl(std::string secretZ85, std::uint16_t wantedPort)
        : secret(std::move(secretZ85)),
          publicKey(derivePublicKey(secret)),
          wakeReceiver(context, zmq::socket_type::pair),
          wakeSender(context, zmq::socket_type::pair),
          port(wantedPort) {
        wakeReceiver.set(zmq::sockopt::linger, 0);
        wakeSender.set(zmq::sockopt::linger, 0);
        wakeReceiver.bind(kWakeEndpoint);
        wakeSender.connect(kWakeEndpoint);
        // The receiver moves to the worker here; the thread start orders the hand-over.
        worker = std::thread([this] { run(); });
    }

    ~Impl() {
        Command quit;
        quit.kind = Command::Kind::Quit;
        submit(std::move(quit));
        worker.join();
    }

    void submit(Command command) {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.push_back(std::move(command));
        // EAGAIN means wake-ups are already pending, and one is enough.
        (void)wakeSender.send(zmq::str_buffer("w"), zmq::send_flags::dontwait);
    }

    void call(Command command) {
        command.done = std::make_unique<std::promise<void>>();
        auto outcome = command.done->get_future();
        submit(std::move(command));
        outcome.get();
    }

    void run() {
        std::optional<zmq::socket_t> xpub;
        for (;;) {
            zmq::pollitem_t items[] = {{wakeReceiver.handle(), 0, ZMQ_POLLIN, 0},
                                       {xpub ? xpub->handle() : nullptr, 0, ZMQ_POLLIN, 0}};
            try {
                zmq::poll(items, xpub ? 2 : 1, std::chrono::milliseconds{-1});
            } catch (const zmq::error_t& e) {
                if (e.num() == EINTR) {
                    continue;
                }
                throw;
            }
            if (xpub && (items[1].revents & ZMQ_POLLIN) != 0) {
                readSubscriptions(*xpub);
            }
            if ((items[0].revents & ZMQ_POLLIN) != 0 && !runCommands(xpub)) {
                xpub.reset();
                wakeReceiver.close();
                return;
            }
        }
    }

    // Executes every queued command; false once asked to quit.
    bool runCommands(std::optional<zmq::socket_t>& xpub) {
        zmq::message_t wake;
        while (wakeReceiver.recv(wake, zmq::recv_flags::dontwait)) {
        }
        std::deque<Command> batch;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            batch.swap(queue);
        }
        for (auto& command : batch) {
            if (command.kind == Command::Kind::Quit) {
                return false;
            }
            try {
                execute(command, xpub);
                if (command.done) {
                    command.done->set_value();
                }
            } catch (...) {
                if (command.done) {
                    command.done->set_exception(std::current_exception());
                }
            }
        }
        return true;
    }

    void execute(Command& command, std::optional<zmq::socket_t>& xpub) {
        using Kind = Command::Kind;
        switch (command.kind) {
            case Kind::Publish:
                if (xpub) {
                    sendFrames(*xpub, command.frames);
                    ++sent;
                }
                break;
            case Kind::Burst:
                if (!xpub) {
                    throw std::logic_error("CurvePublisher: publishBurst while stopped");
                }
                for (std::uint64_t i = 0; i < command.count; ++i) {
                    sendFrames(*xpub, command.make(i));
                    ++sent;
                }
                break;
            case Kind::Flush:
            case Kind::Quit:
                break;
            case Kind::Stop:
                xpub.reset();
                clearSubscriptions(false);
                break;
            case Kind::Restart:
                xpub.reset();
                clearSubscriptions(true);
                xpub = bind();
                break;
        }
    }

    zmq::socket_t bind() {
        zmq::socket_t socket(context, zmq::socket_type::xpub);
        socket.set(zmq::sockopt::linger, 0);
        socket.set(zmq::sockopt::sndhwm, 0);  // unbounded: bursts must not be dropped
        // Verbose subscribes and unsubscribes: every message reaches us, duplicates included.
        socket.set(zmq::sockopt::xpub_verboser, 1);
        socket.set(zmq::sockopt::curve_server, 1);
        socket.set(zmq::sockopt::curve_secretkey, secret);
        const auto endpoint = "tcp://127.0.0.1:" + std::to_string(port.load());
        const auto giveUp = std::chrono::steady_clock::now() + kRebindPatience;
        for (;;) {
            try {
                socket.bind(endpoint);
                break;
            } catch (const zmq::error_t& e) {
                if (e.num() != EADDRINUSE || std::chrono::steady_clock::now() > giveUp) {
                    throw;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const auto bound = socket.get(zmq::sockopt::last_endpoint);
        port = static_cast<std::uint16_t>(std::stoul(bound.substr(bound.rfind(':') + 1)));
        return socket;
    }

    void readSubscriptions(zmq::socket_t& xpub) {
        zmq::message_t message;
        while (xpub.recv(message, zmq::recv_flags::dontwait)) {
            const auto* bytes = message.data<char>();
            if (message.size() == 0 || (bytes[0] != 0 && bytes[0] != 1)) {
                continue;  // not a subscription message
            }
            std::string filter(bytes + 1, message.size() - 1);
            std::lock_guard<std::mutex> lock(stateMutex);
            if (bytes[0] == 1) {
                active.insert(filter);
                subscribed.insert(std::move(filter));
            } else {
                if (const auto it = active.find(filter); it != active.end()) {
                    active.erase(it);
                }
                unsubscribed.insert(std::move(filter));
            }
            stateChanged.notify_all();
        }
    }

    void clearSubscriptions(bool forgetSeen) {
        std::lock_guard<std::mutex> lock(stateMutex);
        active.clear();
        if (forgetSeen) {
            subscribed.clear();
            unsubscribed.clear();
        }
    }

    bool waitFor(const std::set<std::string>& seen, const std::string& filter,
                 std::chrono::milliseconds deadline) const {
        std::unique_lock<std::mutex> lock(stateMutex);
        return stateChanged.wait_for(lock, deadline, [&] { return seen.count(filter) != 0; });
    }

    const std::string secret;
    const std::string publicKey;
    zmq::context_t context;
    zmq::socket_t wakeReceiver;  // worker thread only
    zmq::socket_t wakeSender;    // under queueMutex
    std::mutex queueMutex;
    std::deque<Command> queue;
    mutable std::mutex stateMutex;
    mutable std::condition_variable stateChanged;
    std::set<std::string> subscribed;
    std::set<std::string> unsubscribed;
    std::multiset<std::string> active;
    std::atomic<std::uint16_t> port;
    std::atomic<std::uint64_t> sent{0};
    std::thread worker;
};

CurvePublisher::CurvePublisher(std::string serverSecretZ85, std::uint16_t port)
    : impl_(std::make_unique<Impl>(std::move(serverSecretZ85), port)) {
    restart();
}

CurvePublisher::~CurvePublisher() = default;

std::uint16_t CurvePublisher::port() const {
    return impl_->port.load();
}

std::string CurvePublisher::endpoint() const {
    return "tcp://127.0.0.1:" + std::to_string(port());
}

std::string CurvePublisher::publicKeyZ85() const {
    return impl_->publicKey;
}

void CurvePublisher::publish(std::vector<std::string> frames) {
    if (frames.empty()) {
        throw std::invalid_argument("CurvePublisher: a message needs at least one frame");
    }
    Impl::Command command;
    command.kind = Impl::Command::Kind::Publish;
    command.frames = std::move(frames);
    impl_->submit(std::move(command));
}

void CurvePublisher::publish(const std::string& topic, const std::string& payload) {
    publish(std::vector<std::string>{topic, payload});
}

void CurvePublisher::publishBurst(BurstMaker make, std::uint64_t count) {
    Impl::Command command;
    command.kind = Impl::Command::Kind::Burst;
    command.make = std::move(make);
    command.count = count;
    impl_->call(std::move(command));
}

void CurvePublisher::flush() {
    impl_->call(Impl::Command{});
}

std::uint64_t CurvePublisher::sentCount() const {
    return impl_->sent.load();
}

bool CurvePublisher::waitForSubscription(const std::string& filter,
                                         std::chrono::milliseconds deadline) const {
    return impl_->waitFor(impl_->subscribed, filter, deadline);
}

bool CurvePublisher::waitForUnsubscription(const std::string& filter,
                                           std::chrono::milliseconds deadline) const {
    return impl_->waitFor(impl_->unsubscribed, filter, deadline);
}

std::vector<std::string> CurvePublisher::subscriptions() const {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    return {impl_->active.begin(), impl_->active.end()};
}

void CurvePublisher::stop() {
    Impl::Command command;
    command.kind = Impl::Command::Kind::Stop;
    impl_->call(std::move(command));
}

void CurvePublisher::moveToNewPort() {
    impl_->port = 0;
    restart();
}

void CurvePublisher::restart() {
    Impl::Command command;
    command.kind = Impl::Command::Kind::Restart;
    impl_->call(std::move(command));
}

}  // namespace corvo::testing
