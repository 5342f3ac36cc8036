// Eight host threads call the exports at random while the feed streams at 20,000 messages per
// second; every record served must be one that was published, whole. CORVO_STRESS_SECONDS
// sets the length (default 5; scripts/stress runs 30 under the thread sanitizer).
#include <nlohmann/json.hpp>

#include <random>

#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
using json = nlohmann::json;

constexpr int kTopics = 200;
constexpr int kMessagesPerSecond = 20000;

std::uint64_t checksum(const std::string& topic, std::uint64_t index) {
    return (std::hash<std::string>{}(topic) ^ (index * 0x9E3779B97F4A7C15ull)) % 1000000007ull;
}

std::vector<std::string> message(std::uint64_t index) {
    std::string const topic = "ST" + std::to_string(index % kTopics) + "_Corvo";
    json const payload{{"t", topic}, {"i", index}, {"c", checksum(topic, index)}};
    return {topic, payload.dump()};
}

// Counts the records of one refresh text; any record that was not published whole fails.
std::size_t checkRecords(const std::string& text, std::atomic<int>& torn) {
    auto const parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        ++torn;
        return 0;
    }
    for (auto const& [topic, payload] : parsed.items()) {
        if (topic.rfind("ST", 0) != 0) {
            continue;  // markers and snapshots of other suites
        }
        if (!payload.is_object() || payload.value("t", "") != topic ||
            payload.value("c", 0ull) != checksum(topic, payload.value("i", 0ull))) {
            ++torn;
        }
    }
    return parsed.size();
}

void randomHost(int seed, const std::atomic<bool>& streaming, std::atomic<int>& torn,
                std::atomic<std::size_t>& served) {
    std::mt19937 random(seed);
    std::u16string buffer(1 << 16, u'\0');
    std::string out;
    while (streaming) {
        std::string const code = "ST" + std::to_string(random() % kTopics);
        auto const wideCode = u16(code);
        std::fill(buffer.begin(), buffer.begin() + 12000, u'\0');
        switch (random() % 8) {
            case 0:
                if (lib().cs_Refresh(&out))
                    served += checkRecords(out, torn);
                break;
            case 1:
                if (lib().ea_Refresh(buffer.data()))
                    served += checkRecords(readBack(buffer), torn);
                break;
            case 2:
                if (lib().ea_Refresh_Symbol(wideCode.c_str(), buffer.data())) {
                    checkRecords(readBack(buffer), torn);
                }
                break;
            case 3:
                lib().cs_Subscribe(code.c_str(), &out);
                break;
            case 4:
                lib().ea_Unsubscribe(wideCode.c_str());
                break;
            case 5:
                lib().cs_getTop20(&out);
                lib().ea_getTop20(buffer.data());
                break;
            case 6:
                lib().ea_Subscribe(wideCode.c_str(), buffer.data());
                break;
            default:
                if (random() % 50 == 0)
                    lib().cs_Fundamental(code.c_str(), &out);
                break;
        }
    }
}

TEST(Stress, EightHostsDuringAFastStream) {
    ASSERT_TRUE(ensureSession());
    subscribeEverything();
    int const seconds =
        std::getenv("CORVO_STRESS_SECONDS") ? std::atoi(std::getenv("CORVO_STRESS_SECONDS")) : 5;
    std::atomic<bool> streaming{true};
    std::atomic<int> torn{0};
    std::atomic<std::size_t> served{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < 8; ++t) {
        hosts.emplace_back(randomHost, t, std::cref(streaming), std::ref(torn), std::ref(served));
    }
    std::uint64_t sent = 0;
    auto const started = std::chrono::steady_clock::now();
    for (int tick = 0; tick < seconds * 10; ++tick) {
        services().publisher.publishBurst([sent](std::uint64_t i) { return message(sent + i); },
                                          kMessagesPerSecond / 10);
        sent += kMessagesPerSecond / 10;
        std::this_thread::sleep_until(started + std::chrono::milliseconds(100 * (tick + 1)));
    }
    waitUntilFiled();
    streaming = false;
    for (auto& host : hosts) {
        host.join();
    }
    double const elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "stress: " << sent << " messages in " << elapsed << " s ("
              << static_cast<int>(sent / elapsed) << "/s), " << served.load() << " records served, "
              << torn.load() << " torn\n";
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(served.load(), 0u);
    EXPECT_TRUE(lib().ea_Deinitial());
}

}  // namespace
