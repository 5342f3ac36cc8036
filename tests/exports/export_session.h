// Shared by the export suites: the loaded library, the scripted services, and starting the
// one session of the process against them.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/eventually.h"
#include "exports/loaded_library.h"
#include "exports/scripted_api.h"

namespace corvo::testing {

inline const Exports& lib() {
    return LoadedLibrary::instance().exports();
}

// One ScriptedApi for the whole process, created on first use.
inline ScriptedApi& services() {
    static ScriptedApi api;
    return api;
}

inline std::string apiPort() {
    return std::to_string(services().http.port());
}

// Starts a session through cs_Initial unless one runs; true when one runs afterwards.
inline bool ensureSession(const char* key = "export-key", std::int32_t login = 4242) {
    auto const host = u16("127.0.0.1");
    auto const port = u16(apiPort());
    auto const wideKey = u16(key);
    return lib().ea_Initial(wideKey.c_str(), login, host.c_str(), port.c_str());
}

// Subscribes every topic and waits until the publisher sees it, so nothing is lost.
inline void subscribeEverything() {
    std::string out = "untouched";
    ASSERT_TRUE(lib().cs_Subscribe("", &out));
    EXPECT_EQ(out, "");
    ASSERT_TRUE(services().publisher.waitForSubscription("", std::chrono::seconds(5)));
}

// Publishes a Top20 marker and waits until the library shows it: every message published
// before it has been filed by then.
inline void waitUntilFiled() {
    static int marker = 0;
    std::string const text = "marker-" + std::to_string(++marker) + "!";
    std::string seen;
    auto const shown = [&] {
        return lib().cs_getTop20(&seen) && seen == text.substr(0, text.size() - 1);
    };
    // Published again until shown: the first may reach the feed before the Top20 filter does.
    bool filed = false;
    for (int attempt = 0; attempt < 50 && !filed; ++attempt) {
        services().publisher.publish("Top20", text);
        filed = eventually(shown, std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(filed);
}

// Empties the pending updates of both refresh families.
inline void drainRefreshes() {
    std::string out;
    while (lib().cs_Refresh(&out)) {
    }
}

}  // namespace corvo::testing
