#include "watch.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>

#include "live_table.h"
#include "refresh_members.h"
#include "stream_health.h"

namespace corvo::host {
namespace {

using Clock = std::chrono::steady_clock;

// How often the live table is redrawn at most, and the longest single wait: a signal does not end
// corvo_wait, so this also bounds how late Ctrl-C is noticed.
constexpr std::chrono::milliseconds kRedrawInterval{100};
// Large records are served one per call; a few calls in a row catch up without spinning.
constexpr int kPollsPerTick = 32;
// Often enough to notice a stall quickly, seldom enough for a steady rate.
constexpr std::chrono::seconds kHealthInterval{1};

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
}

// Ctrl-C during a watch ends the watch instead of the process, so the host can still stop the
// session and end the library before it exits.
class InterruptScope {
  public:
    InterruptScope() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptScope() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

  private:
    struct sigaction previous_ {};
};

// Shows updates either as JSON lines or in the live table.
class UpdateView {
  public:
    explicit UpdateView(const Output& output) : output_(output) {}
    void health(const HealthSample& sample) {
        if (output_.terminal()) {
            table_.setHealth(healthLine(sample));
        } else {
            output_.record(healthRecord(sample));
        }
    }
    void show(const RefreshMember& member) {
        if (output_.terminal()) {
            table_.update(member.topic, member.record);
        } else {
            output_.update(member.topic, member.record);
        }
    }
    void tick() {
        if (output_.terminal()) {
            table_.draw(std::cout);
        }
    }
    void finish(double seconds) {
        if (output_.terminal()) {
            table_.draw(std::cout);
            table_.summarise(std::cout, seconds);
        }
    }

  private:
    const Output& output_;
    LiveTable table_;
};

// Polls until nothing new is left (or the per-tick bound is reached).
void drain(StreamCalls& calls, UpdateView& view) {
    for (int poll = 0; poll < kPollsPerTick && !interrupted; ++poll) {
        auto const text = calls.refresh();
        if (!text) {
            return;
        }
        auto const members = splitRefresh(*text);
        if (members.empty()) {
            return;  // cs_Refresh may answer true with "{}"
        }
        for (const auto& member : members) {
            view.show(member);
        }
    }
}

}  // namespace

WatchEnd watch(StreamCalls& calls, const Exports& exports, const Output& output, double seconds) {
    InterruptScope const interruptScope;
    UpdateView view(output);
    HealthProbe probe(exports);
    auto const start = Clock::now();
    auto const end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto nextDraw = start;
    auto nextHealth = start;
    while (!interrupted && Clock::now() < end) {
        drain(calls, view);
        auto const now = Clock::now();
        if (now >= nextHealth) {
            view.health(probe.sample());
            nextHealth += kHealthInterval;
        }
        if (now >= nextDraw) {
            view.tick();
            nextDraw = now + kRedrawInterval;
        }
        calls.waitForUpdates(std::min({nextDraw, nextHealth, end}));
    }
    std::chrono::duration<double> const elapsed = Clock::now() - start;
    view.health(probe.sample());
    view.finish(elapsed.count());
    return interrupted ? WatchEnd::interrupted : WatchEnd::elapsed;
}

}  // namespace corvo::host
