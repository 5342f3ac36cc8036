// A host that logs through the system's shared spdlog loads the library: the library's session
// starts and stops, failed or not, leave the host's levels and periodic flush as it set them.
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
using namespace std::chrono_literals;

// The host's sink: counts the flushes its periodic flusher asks for.
class FlushCounter final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    int flushes() const { return flushes_.load(); }

  protected:
    void sink_it_(const spdlog::details::log_msg&) override {}
    void flush_() override { ++flushes_; }

  private:
    std::atomic<int> flushes_{0};
};

class HostLogging : public ::testing::Test {
  protected:
    void SetUp() override {
        // A level in the environment, which the library applies at each start.
        ::setenv("SPDLOG_LEVEL", "trace", 1);
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("host", counter_));
        spdlog::set_level(spdlog::level::warn);
        spdlog::flush_every(1s);  // its shortest interval
    }
    void TearDown() override { spdlog::shutdown(); }

    // True once the host's flusher has flushed again since now.
    bool flusherRuns() const {
        int const seen = counter_->flushes();
        return eventually([&] { return counter_->flushes() > seen; }, 5s);
    }
    static std::string portNobodyListensOn() {
        HttpTestServer gone;
        return std::to_string(gone.port());
    }

    std::shared_ptr<FlushCounter> counter_ = std::make_shared<FlushCounter>();
};

TEST_F(HostLogging, TheLibrarysStartsAndStopsLeaveTheHostsLevelAndFlusher) {
    ASSERT_TRUE(flusherRuns()) << "the host flushes before the library starts";

    EXPECT_FALSE(lib().cs_Initial("host-key", 1, "127.0.0.1", portNobodyListensOn().c_str()));
    EXPECT_EQ(spdlog::default_logger()->level(), spdlog::level::warn) << "after a failed start";
    EXPECT_TRUE(flusherRuns()) << "after a failed start";

    ASSERT_TRUE(ensureSession());
    EXPECT_EQ(spdlog::default_logger()->level(), spdlog::level::warn) << "during a session";
    EXPECT_TRUE(flusherRuns()) << "during a session";

    EXPECT_TRUE(lib().ea_Deinitial());
    EXPECT_TRUE(flusherRuns()) << "after the session";
}

}  // namespace
