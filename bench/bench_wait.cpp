// B10: how soon a published message is a record in the hands of a host blocked in corvo_wait,
// beside a bare CURVE SUB receiving the same paced messages and a host polling cs_Refresh
// every millisecond, all in the same run; and what a host waiting on an idle stream costs.
#include <time.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "curve_feed.h"
#include "host_session.h"
#include "measure.h"

namespace {

using namespace corvo::bench;
using Clock = std::chrono::steady_clock;

// The three receivers take turns, round after round, so a slow spell of the machine falls on
// each of them alike.
constexpr int kRounds = 4;

struct Pace {
    const char* name;
    int perSecond;
    std::size_t perRound;
};

// Sends `count` messages at `perSecond` over 1,000 topics, each stamped with its send time.
void pacedSend(CurveFeed& feed, const Pace& pace, std::size_t count) {
    auto const start = Clock::now();
    auto const gap = std::chrono::nanoseconds(1000000000 / pace.perSecond);
    for (std::size_t i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + gap * i);
        feed.send("L" + std::to_string(i % 1000) + "_Corvo", std::to_string(nowNanos()));
    }
}

// Adds the age of every record in a refresh text, as of `seen`; answers how many there were.
std::size_t collect(const char* text, std::uint64_t seen, std::vector<double>& latencies) {
    std::size_t found = 0;
    for (const char* at = std::strstr(text, "_Corvo\":"); at != nullptr;
         at = std::strstr(at + 8, "_Corvo\":")) {
        latencies.push_back(static_cast<double>(seen - std::strtoull(at + 8, nullptr, 10)));
        ++found;
    }
    return found;
}

enum class Host { waiting, polling };

// A host reading the library's records while `pace` is sent, blocked in corvo_wait or polling
// cs_Refresh every millisecond.
void libraryRound(CurveFeed& feed, Host kind, const Pace& pace, std::vector<double>& latencies) {
    auto const& c = cInterface();
    char* snapshot = nullptr;
    (void)c.corvo_subscribe("", &snapshot, nullptr);
    c.corvo_free(snapshot);
    require(feed.awaitFilterChange(true, ""), "subscribing every topic");
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c.corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    std::atomic<std::size_t> received{0};
    std::atomic<bool> reading{true};
    std::thread host([&] {
        std::string taken;
        while (reading) {
            if (kind == Host::waiting) {
                if (c.corvo_wait(100) == CORVO_OK &&
                    c.corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
                    received += collect(buffer.data(), nowNanos(), latencies);
                }
                continue;
            }
            auto const began = Clock::now();
            if (legacyInterface().cs_Refresh(&taken)) {
                received += collect(taken.c_str(), nowNanos(), latencies);
            }
            std::this_thread::sleep_until(began + std::chrono::milliseconds(1));
        }
    });
    pacedSend(feed, pace, pace.perRound);
    auto const deadline = Clock::now() + std::chrono::seconds(2);
    while (received < pace.perRound && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reading = false;
    host.join();
    require(received == pace.perRound, "receiving every paced message");
    require(c.corvo_unsubscribe("") == CORVO_OK, "unsubscribing every topic");
    require(feed.awaitFilterChange(false, ""), "the unsubscription");
}

void bareRound(CurveFeed& feed, const Pace& pace, std::vector<double>& latencies) {
    zmq::context_t context;
    std::thread receiver([&] {
        auto subscriber = bareSubscriber(context, feed.endpoint());
        subscriber.set(zmq::sockopt::subscribe, "");
        zmq::message_t topic;
        zmq::message_t payload;
        for (std::size_t i = 0; i < pace.perRound; ++i) {
            (void)subscriber.recv(topic);
            (void)subscriber.recv(payload);
            latencies.push_back(static_cast<double>(nowNanos() - std::stoull(payload.to_string())));
        }
    });
    require(feed.awaitFilterChange(true, ""), "the bare subscription");
    pacedSend(feed, pace, pace.perRound);
    receiver.join();
}

void latency(CurveFeed& feed, const Pace& pace) {
    std::vector<double> waiting;
    std::vector<double> polling;
    std::vector<double> bare;
    for (int round = 0; round < kRounds; ++round) {
        libraryRound(feed, Host::waiting, pace, waiting);
        bareRound(feed, pace, bare);
        libraryRound(feed, Host::polling, pace, polling);
    }
    Stats const bareStats = percentiles(bare);
    Stats const waitStats = percentiles(waiting);
    Stats const pollStats = percentiles(polling);
    std::string const what = std::string("publish to record, ") + pace.name + ", ";
    row("B10", what + "host in corvo_wait + corvo_refresh", latencyText(waitStats),
        latencyText(bareStats), waitStats.min / bareStats.min, "p99 ratio <= 1.5");
    row("B10", what + "host polling cs_Refresh every ms", latencyText(pollStats),
        latencyText(bareStats), pollStats.min / bareStats.min, "reported");
}

double processCpuMs() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return used.tv_sec * 1e3 + used.tv_nsec / 1e6;
}

// The process's CPU time over 10 s of a host blocked in corvo_wait on an idle stream, beside
// the same 10 s with the host asleep instead; the session runs through both.
void idleCost() {
    constexpr int kIdleMs = 10000;
    auto const& c = cInterface();
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c.corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    double const asleepFrom = processCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
    double const asleep = processCpuMs() - asleepFrom;
    double const waitingFrom = processCpuMs();
    auto const start = Clock::now();
    require(c.corvo_wait(kIdleMs) == CORVO_NOTHING_PENDING, "waiting on an idle stream");
    double const waiting = processCpuMs() - waitingFrom;
    char library[96];
    std::snprintf(library, sizeof library, "%.2f ms CPU over %.1f s (%.2f ms above asleep)",
                  waiting, secondsSince(start), waiting - asleep);
    char baseline[64];
    std::snprintf(baseline, sizeof baseline, "%.2f ms CPU, host asleep", asleep);
    row("B10", "idle stream, host 10 s in corvo_wait", library, baseline, 0, "< 10 ms");
}

}  // namespace

int main() {
    CurveFeed feed;
    BenchApi api(portOf(feed.endpoint()));
    require(cInterface().corvo_start("bench", 1, "127.0.0.1", api.port()) == CORVO_OK,
            "corvo_start");
    latency(feed, {"10,000 msg/s", 10000, 5000});
    latency(feed, {"100 msg/s", 100, 250});
    idleCost();
    require(cInterface().corvo_end() == CORVO_OK, "corvo_end");
    std::filesystem::remove_all(
        corvo::testing::LoadedLibrary::instance().filesDirectory().parent_path().parent_path());
    return 0;
}
