// B11: how long corvo_start takes to a running session and to the first record of an
// instrument subscribed right after it, and how long corvo_stop takes, beside the legacy
// ea_Initial, ea_Subscribe and ea_Deinitial in the same run, over loopback.
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

constexpr int kStarts = 20;

struct StartTimes {
    std::vector<double> running;
    std::vector<double> firstRecord;
    std::vector<double> stop;
};

double msSince(Clock::time_point start) {
    return secondsSince(start) * 1000;
}

// Publishes one update of instrument S as soon as a session subscribes it, so the first
// record waits on the session alone.
class Feeder {
  public:
    Feeder()
        : thread_([this] {
              while (feeding_) {
                  if (feed_.awaitFilterChange(true, "S_", std::chrono::milliseconds(20))) {
                      feed_.send("S_Corvo", "1");
                  }
              }
          }) {}
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;
    ~Feeder() {
        feeding_ = false;
        thread_.join();
    }

    std::uint16_t port() const { return port_; }

  private:
    CurveFeed feed_;
    std::uint16_t const port_ = portOf(feed_.endpoint());
    std::atomic<bool> feeding_{true};
    std::thread thread_;
};

void quickStart(std::uint16_t apiPort, StartTimes& times) {
    auto const& c = cInterface();
    auto const start = Clock::now();
    require(c.corvo_start("bench", 1, "127.0.0.1", apiPort) == CORVO_OK, "corvo_start");
    times.running.push_back(msSince(start));
    char* snapshot = nullptr;
    // The bench API has no snapshot for S: CORVO_NOT_FOUND, with the filter in force.
    auto const subscribed = c.corvo_subscribe("S", &snapshot, nullptr);
    c.corvo_free(snapshot);
    require(subscribed == CORVO_OK || subscribed == CORVO_NOT_FOUND, "corvo_subscribe");
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    require(c.corvo_wait(5000) == CORVO_OK, "waiting for the first record");
    require(c.corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK &&
                std::strstr(buffer.data(), "\"S_Corvo\":1") != nullptr,
            "the first record");
    times.firstRecord.push_back(msSince(start));
    auto const stopping = Clock::now();
    require(c.corvo_stop() == CORVO_OK, "corvo_stop");
    times.stop.push_back(msSince(stopping));
}

// A legacy host: the same steps through the ea_ family, polling ea_Refresh every millisecond.
void legacyStart(std::uint16_t apiPort, StartTimes& times) {
    auto const& lib = legacyInterface();
    std::string const portText = std::to_string(apiPort);
    std::u16string const port(portText.begin(), portText.end());
    std::u16string out(1 << 16, u'\0');
    auto const start = Clock::now();
    require(lib.ea_Initial(u"bench", 1, u"127.0.0.1", port.c_str()), "ea_Initial");
    times.running.push_back(msSince(start));
    (void)lib.ea_Subscribe(u"S", out.data());
    auto const deadline = Clock::now() + std::chrono::seconds(5);
    while (true) {
        auto const began = Clock::now();
        if (lib.ea_Refresh(out.data()) &&
            std::u16string_view(out.data()).find(u"\"S_Corvo\":1") != std::u16string_view::npos) {
            break;
        }
        require(began < deadline, "the first record through ea_Refresh");
        std::this_thread::sleep_until(began + std::chrono::milliseconds(1));
    }
    times.firstRecord.push_back(msSince(start));
    auto const stopping = Clock::now();
    require(lib.ea_Deinitial(), "ea_Deinitial");
    times.stop.push_back(msSince(stopping));
}

std::string medianAndMax(const std::vector<double>& values) {
    Stats const stats = summarise(values);
    char text[64];
    std::snprintf(text, sizeof text, "median %.1f ms, max %.1f ms", stats.median, stats.max);
    return text;
}

}  // namespace

int main() {
    Feeder feeder;
    BenchApi api(feeder.port());
    StartTimes quick;
    StartTimes legacy;
    // Alternating, so drift during the series falls on both alike.
    for (int run = 0; run < kStarts; ++run) {
        quickStart(api.port(), quick);
        legacyStart(api.port(), legacy);
    }
    row("B11", "corvo_start to running (beside ea_Initial), 20 starts", medianAndMax(quick.running),
        medianAndMax(legacy.running), 0, "median < 50 ms");
    row("B11", "corvo_start to first record after corvo_subscribe (beside ea_Subscribe)",
        medianAndMax(quick.firstRecord), medianAndMax(legacy.firstRecord), 0, "reported");
    row("B11", "corvo_stop (beside ea_Deinitial)", medianAndMax(quick.stop),
        medianAndMax(legacy.stop), 0, "< 50 ms");
    require(cInterface().corvo_end() == CORVO_OK, "corvo_end");
    std::filesystem::remove_all(
        corvo::testing::LoadedLibrary::instance().filesDirectory().parent_path().parent_path());
    return 0;
}
