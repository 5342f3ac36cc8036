// B1-B3: how much of the feed the subscriber files, with 10 and 10,000 topics, and how soon a
// record is visible to a polling host, each beside a bare CURVE SUB in the same run. B9: the
// filing rate while a host refreshes every millisecond or waits and drains, beside the rate
// with nobody reading.
#include <atomic>
#include <thread>

#include "common/processor_seam.h"
#include "corvo.h"
#include "curve_feed.h"
#include "measure.h"
#include "session/processor.h"

namespace {

using namespace corvo::bench;
using Clock = std::chrono::steady_clock;

// Four busy threads share two cores in these runs, so single runs spread widely: many short
// runs give stable medians.
constexpr int kRuns = 11;
constexpr std::size_t kMessages = 200000;

struct Message {
    std::string topic;
    std::string payload;
};

std::vector<Message> makeMessages(std::size_t topics, std::size_t payloadBytes) {
    std::vector<Message> messages;
    for (std::size_t i = 0; i < kMessages; ++i) {
        std::string payload = std::to_string(i);
        payload.resize(payloadBytes, 'x');
        messages.push_back({"T" + std::to_string(i % topics) + "_Corvo", std::move(payload)});
    }
    return messages;
}

// The library's session engine on its own client, socket and monitor.
class Library {
  public:
    explicit Library(const std::string& endpoint) {
        client_.setServer({"127.0.0.1", 1});  // no API: the Top20 snapshot fails at once
        corvo::session::ProcessorSeam::setUserKey(processor, "bench");
        corvo::session::ProcessorSeam::setStreamEndpoint(processor, endpoint);
        processor.startSessionThreads(processor.stopRequests());
        while (!processor.isRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Library() { processor.endSession(); }

  private:
    corvo::api::ApiClient client_;
    zmq::socket_t socket_;
    corvo::session::connect_monitor_c monitor_;

  public:
    corvo::session::Processor processor{client_, socket_, monitor_};
};

int markerCount = 0;

// Both sides notice the end of a run the same way, so the polling costs them alike. The
// library side's check takes the store gate, so it is made seldom: a check that is descheduled
// while holding the gate stalls the subscriber, and a millisecond is well under 1% of a run.
void awaitCompletion(const std::function<bool()>& done) {
    while (!done()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Messages per second from the first send until the library shows the closing marker.
double libraryRate(CurveFeed& feed, Library& library, const std::vector<Message>& messages) {
    std::string out;
    corvo::session::legacySubscribe(library.processor, "", out, false);
    feed.awaitFilterChange(true, "");
    std::string const marker = "end-" + std::to_string(++markerCount);
    auto const start = Clock::now();
    for (const auto& message : messages) {
        feed.send(message.topic, message.payload);
    }
    feed.send("Top20", marker);
    awaitCompletion([&] { return library.processor.top20() == marker; });
    double const rate = static_cast<double>(messages.size()) / secondsSince(start);
    auto const& last = messages.back();
    if (library.processor.recordOf(last.topic) != "\"" + last.topic + "\":" + last.payload) {
        std::fprintf(stderr, "library lost messages\n");
        std::exit(1);
    }
    library.processor.removeSymbol("");
    feed.awaitFilterChange(false, "");
    return rate;
}

// The same through a bare SUB that only counts what it receives.
double baselineRate(CurveFeed& feed, const std::vector<Message>& messages) {
    zmq::context_t context;
    std::string const marker = "end-" + std::to_string(++markerCount);
    std::atomic<bool> done{false};
    std::size_t received = 0;
    std::thread receiver([&] {
        auto subscriber = bareSubscriber(context, feed.endpoint());
        subscriber.set(zmq::sockopt::subscribe, "");
        zmq::message_t topic;
        zmq::message_t payload;
        while (true) {
            (void)subscriber.recv(topic);
            (void)subscriber.recv(payload);
            if (topic.to_string_view() == "Top20" && payload.to_string_view() == marker) {
                break;
            }
            ++received;
        }
        done = true;
    });
    feed.awaitFilterChange(true, "");
    auto const start = Clock::now();
    for (const auto& message : messages) {
        feed.send(message.topic, message.payload);
    }
    feed.send("Top20", marker);
    awaitCompletion([&] { return done.load(); });
    double const rate = static_cast<double>(messages.size()) / secondsSince(start);
    receiver.join();
    if (received != messages.size()) {
        std::fprintf(stderr, "baseline lost messages\n");
        std::exit(1);
    }
    return rate;
}

void filingRate(CurveFeed& feed, Library& library, std::size_t topics, std::size_t bytes) {
    auto const messages = makeMessages(topics, bytes);
    auto const rates = pairedRuns(
        kRuns, [&] { return libraryRate(feed, library, messages); },
        [&] { return baselineRate(feed, messages); });
    Stats const lib = summarise(rates.first);
    Stats const base = summarise(rates.second);
    std::string const what =
        "filing, " + std::to_string(topics) + " topics, " + std::to_string(bytes) + " B payload";
    row("B1", what, format(lib, "msg/s"), format(base, "msg/s"), rates.ratio(), ">= 0.9");
}

void topicScaling(CurveFeed& feed, Library& library) {
    auto const few = makeMessages(10, 100);
    auto const many = makeMessages(10000, 100);
    auto const rates = pairedRuns(
        kRuns, [&] { return libraryRate(feed, library, many); },
        [&] { return libraryRate(feed, library, few); });
    Stats const manyStats = summarise(rates.first);
    Stats const fewStats = summarise(rates.second);
    row("B2", "filing, 10,000 topics vs 10 topics", format(manyStats, "msg/s"),
        format(fewStats, "msg/s"), rates.ratio(), ">= 0.9");
}

// How a host reads: polling a refresh family every millisecond, or blocked in the wait for
// updates and taking each as it comes, as corvo_wait and corvo_refresh do.
enum class Reading { csEveryMs, eaEveryMs, waiting };

// A host thread reading for as long as it lives; it keeps the longest refresh call, which is
// at least as long as the store gate was held for it.
class RefreshingHost {
  public:
    RefreshingHost(Library& library, Reading reading)
        : thread_([this, &library, reading] {
              std::u16string wide(corvo::session::kRefreshLimit, u'\0');
              while (reading_) {
                  if (reading == Reading::waiting) {
                      if (library.processor.waitForUpdates(std::chrono::milliseconds(100)) ==
                          corvo::session::UpdateSignal::Wake::pending) {
                          auto const began = Clock::now();
                          (void)library.processor.takeRefreshWithin(CORVO_REFRESH_CAPACITY);
                          longest_ = std::max(longest_, secondsSince(began));
                      }
                      continue;
                  }
                  auto const began = Clock::now();
                  bool const ea = reading == Reading::eaEveryMs;
                  auto const result = library.processor.takeRefresh(
                      ea ? corvo::session::RefreshFamily::ea : corvo::session::RefreshFamily::cs);
                  longest_ = std::max(longest_, secondsSince(began));
                  // What ea_Refresh adds: each byte sign-extended to one UTF-16 unit.
                  if (ea) {
                      for (std::size_t i = 0; i < result.text.size(); ++i) {
                          wide[i] = static_cast<char16_t>(static_cast<signed char>(result.text[i]));
                      }
                  }
                  std::this_thread::sleep_until(began + std::chrono::milliseconds(1));
              }
          }) {}
    RefreshingHost(const RefreshingHost&) = delete;
    RefreshingHost& operator=(const RefreshingHost&) = delete;
    ~RefreshingHost() { stop(); }

    // Stops the host and answers its longest refresh in seconds.
    double stop() {
        reading_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
        return longest_;
    }

  private:
    std::atomic<bool> reading_{true};
    double longest_ = 0;
    std::thread thread_;
};

void filingWhileRefreshing(CurveFeed& feed, Library& library, Reading reading) {
    auto const messages = makeMessages(10000, 100);
    double longest = 0;
    auto const rates = pairedRuns(
        kRuns,
        [&] {
            RefreshingHost host(library, reading);
            double const rate = libraryRate(feed, library, messages);
            longest = std::max(longest, host.stop());
            return rate;
        },
        [&] { return libraryRate(feed, library, messages); });
    char const* const host[] = {"cs_Refresh every ms", "ea_Refresh with widening every ms",
                                "corvo_wait + corvo_refresh draining"};
    char what[160];
    std::snprintf(what, sizeof what, "filing, 10,000 topics, %s (longest refresh %.0f us)",
                  host[static_cast<int>(reading)], longest * 1e6);
    row("B9", what, format(summarise(rates.first), "msg/s"),
        format(summarise(rates.second), "msg/s"), rates.ratio(), ">= 0.9");
}

std::uint64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Sends `count` timestamped messages at 10,000 per second over 1,000 topics.
void pacedSend(CurveFeed& feed, std::size_t count) {
    auto const start = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(100 * i));
        feed.send("L" + std::to_string(i % 1000) + "_Corvo", std::to_string(nowNanos()));
    }
}

void latency(CurveFeed& feed, Library& library) {
    constexpr std::size_t kCount = 20000;
    std::vector<double> libraryLatencies;
    std::string out;
    corvo::session::legacySubscribe(library.processor, "", out, false);
    feed.awaitFilterChange(true, "");
    // Updates left by the filing runs are not part of this measurement.
    while (library.processor.takeRefresh(corvo::session::RefreshFamily::cs).taken) {
    }
    std::atomic<bool> polling{true};
    std::thread poller([&] {
        while (polling) {
            auto const result = library.processor.takeRefresh(corvo::session::RefreshFamily::cs);
            std::uint64_t const seen = nowNanos();
            for (auto at = result.text.find("_Corvo\":"); at != std::string::npos;
                 at = result.text.find("_Corvo\":", at + 8)) {
                libraryLatencies.push_back(static_cast<double>(
                    seen - std::strtoull(result.text.c_str() + at + 8, nullptr, 10)));
            }
            std::this_thread::yield();
        }
    });
    pacedSend(feed, kCount);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    polling = false;
    poller.join();
    library.processor.removeSymbol("");
    feed.awaitFilterChange(false, "");

    std::vector<double> baselineLatencies;
    zmq::context_t context;
    std::thread receiver([&] {
        auto subscriber = bareSubscriber(context, feed.endpoint());
        subscriber.set(zmq::sockopt::subscribe, "");
        zmq::message_t topic;
        zmq::message_t payload;
        for (std::size_t i = 0; i < kCount; ++i) {
            (void)subscriber.recv(topic);
            (void)subscriber.recv(payload);
            baselineLatencies.push_back(
                static_cast<double>(nowNanos() - std::stoull(payload.to_string())));
        }
    });
    feed.awaitFilterChange(true, "");
    pacedSend(feed, kCount);
    receiver.join();
    Stats const lib = percentiles(libraryLatencies);
    row("B3", "send to visible in cs_Refresh, 10,000 msg/s", latencyText(lib),
        latencyText(percentiles(baselineLatencies)), 0, "p99 < 1000 us");
}

}  // namespace

int main() {
    CurveFeed feed;
    Library library(feed.endpoint());
    filingRate(feed, library, 10, 100);
    filingRate(feed, library, 10, 1024);
    topicScaling(feed, library);
    latency(feed, library);
    filingWhileRefreshing(feed, library, Reading::csEveryMs);
    filingWhileRefreshing(feed, library, Reading::eaEveryMs);
    filingWhileRefreshing(feed, library, Reading::waiting);
    return 0;
}
