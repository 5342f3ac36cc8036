#include "trace/trace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace corvo::trace {
namespace {

// ISO 8601 in UTC with milliseconds, e.g. 2026-12-09T18:34:42.123Z: readable, and the same
// whatever the machine's time zone, so traces from several machines line up.
std::string utcStamp(std::chrono::system_clock::time_point now) {
    auto const millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    auto const whole = static_cast<std::time_t>(millis / 1000);
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &whole);
#else
    gmtime_r(&whole, &parts);
#endif
    char text[32];
    std::size_t const length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis % 1000));
    return text;
}

// Writes each text as one line with a timestamp and the thread id.
class LineWriter {
  public:
    explicit LineWriter(std::FILE* file, bool owned) : file_(file), owned_(owned) {}
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;
    ~LineWriter() {
        if (owned_) {
            std::fclose(file_);
        }
    }

    void write(std::string_view text) {
        std::string const stamp = utcStamp(std::chrono::system_clock::now());
        std::ostringstream thread;
        thread << std::this_thread::get_id();
        std::lock_guard<std::mutex> lock(mutex_);
        std::fprintf(file_, "%s [%s] %.*s\n", stamp.c_str(), thread.str().c_str(),
                     static_cast<int>(text.size()), text.data());
        std::fflush(file_);
    }

  private:
    std::FILE* file_;
    bool owned_;
    std::mutex mutex_;
};

Sink sinkFromEnvironment() {
    const char* target = std::getenv("CORVO_TRACE");
    if (target == nullptr || *target == '\0') {
        return nullptr;
    }
    std::shared_ptr<LineWriter> writer;
    if (std::string_view(target) == "stderr") {
        writer = std::make_shared<LineWriter>(stderr, false);
    } else if (std::FILE* file = std::fopen(target, "a")) {
        writer = std::make_shared<LineWriter>(file, true);
    } else {
        return nullptr;
    }
    return [writer](std::string_view text) { writer->write(text); };
}

// False before the sink state exists and after it is destroyed at exit, when the library's
// unload notification may still trace.
std::atomic<bool> stateAlive{false};

struct SinkState {
    std::mutex mutex;
    std::shared_ptr<const Sink> sink;
    std::atomic<bool> installed{false};

    SinkState() {
        install(sinkFromEnvironment());
        stateAlive = true;
    }
    SinkState(const SinkState&) = delete;
    SinkState& operator=(const SinkState&) = delete;
    ~SinkState() { stateAlive = false; }

    void install(Sink next) {
        std::shared_ptr<const Sink> fresh;
        if (next) {
            fresh = std::make_shared<const Sink>(std::move(next));
        }
        std::lock_guard<std::mutex> lock(mutex);
        sink = std::move(fresh);
        installed.store(sink != nullptr, std::memory_order_release);
    }

    std::shared_ptr<const Sink> current() {
        std::lock_guard<std::mutex> lock(mutex);
        return sink;
    }
};

SinkState& state() {
    static SinkState instance;
    return instance;
}

}  // namespace

bool enabled() {
    SinkState& current = state();
    return stateAlive && current.installed.load(std::memory_order_acquire);
}

void emit(std::string_view text) {
    SinkState& current = state();
    if (!stateAlive) {
        return;
    }
    if (auto const sink = current.current()) {
        (*sink)(text);
    }
}

std::string secretPrefix(std::string_view secret) {
    // Half of a short key at most, so no key is ever shown whole.
    std::size_t const shown = std::min<std::size_t>(4, secret.size() / 2);
    return std::string(secret.substr(0, shown)) + "... (" + std::to_string(secret.size()) +
           " bytes)";
}

void setSink(Sink sink) {
    SinkState& current = state();
    if (stateAlive) {
        current.install(std::move(sink));
    }
}

}  // namespace corvo::trace
