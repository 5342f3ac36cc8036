// corvo-sim: the operator's HTTP API and CURVE feed on loopback, for demos and tests.
#include <csignal>
#include <fstream>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "peer/curve_publisher.h"
#include "peer/http_test_server.h"
#include "sim/api_service.h"
#include "sim/market_universe.h"
#include "sim/sim_options.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// Publishes quotes at the configured rate and a Top20 ranking at its interval until a signal.
void runFeed(corvo::sim::MarketUniverse& market, corvo::testing::CurvePublisher& feed,
             const corvo::sim::SimOptions& options) {
    using Clock = std::chrono::steady_clock;
    auto const gap = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.rate));
    auto const top20Gap = std::chrono::milliseconds(options.top20IntervalMs);
    auto nextQuote = Clock::now();
    auto nextTop20 = Clock::now();
    while (!stopRequested) {
        auto const now = Clock::now();
        if (now >= nextTop20) {
            feed.publish("Top20", market.top20());
            nextTop20 += top20Gap;
        }
        // Catch up in one go after a late wake-up, so the rate holds on average.
        for (int burst = 0; now >= nextQuote && burst < 1000; ++burst) {
            auto [topic, payload] = market.nextQuote();
            feed.publish(topic, payload);
            nextQuote += gap;
        }
        std::this_thread::sleep_until(
            std::min({nextQuote, nextTop20, now + std::chrono::milliseconds(50)}));
    }
}

// Builds a listening service; a failure (a busy port, mostly) names the option and the port.
template <class Make>
auto listening(const char* option, std::uint16_t port, Make make) {
    try {
        return make();
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("cannot listen on 127.0.0.1:") + std::to_string(port) +
                                 " (" + option + " " + std::to_string(port) + "): " + error.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    corvo::sim::SimOptions options;
    if (auto const exitStatus = corvo::sim::parseOptions(argc, argv, options)) {
        return *exitStatus;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    try {
        corvo::sim::MarketUniverse market(options.seed, options.instruments);
        auto feed = listening("--stream-port", options.streamPort, [&] {
            return corvo::testing::CurvePublisher(options.curveSecret, options.streamPort);
        });
        std::mutex logMutex;
        auto log = [&](const std::string& line) {
            if (!options.quiet) {
                std::lock_guard<std::mutex> lock(logMutex);
                std::cout << "corvo-sim: " << line << std::endl;
            }
        };
        corvo::sim::ApiService api({options.aesKey, options.aesIv, options.clientSecret,
                                    options.dayKeyOffset, options.accounts, feed.port()},
                                   market, log);
        auto http = listening("--api-port", options.apiPort, [&] {
            return corvo::testing::HttpTestServer(options.apiPort, false);
        });
        http.setHandler(
            [&](const corvo::testing::RecordedRequest& request) { return api.answer(request); });
        std::cout << "corvo-sim: api http://127.0.0.1:" << http.port() << "  stream "
                  << feed.endpoint() << "  instruments " << market.codes().size() << std::endl;
        if (!options.portsFile.empty()) {
            std::ofstream(options.portsFile)
                << "api=" << http.port() << " stream=" << feed.port() << "\n";
        }
        runFeed(market, feed, options);
        std::cout << "corvo-sim: stopping after " << feed.sentCount() << " stream messages"
                  << std::endl;
    } catch (const std::exception& error) {
        std::cerr << "corvo-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
