// The sized C interface through the loaded library: sizes never overrun, nothing is lost when a
// buffer is too small, the status follows the stream, and every failure has a code and a
// reason. Its own process, since it ends the library.
#include <nlohmann/json.hpp>

#include "corvo.h"
#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
using namespace std::chrono_literals;

struct CExports {
#define CORVO_EXPORT_ENTRY(name) decltype(&::name) name = nullptr;
#include "exports/c_export_names.inc"
#undef CORVO_EXPORT_ENTRY
};

const CExports& c() {
    static CExports const exports = [] {
        CExports found;
        void* const handle = LoadedLibrary::instance().handle();
#define CORVO_EXPORT_ENTRY(name) \
    found.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));
#include "exports/c_export_names.inc"
#undef CORVO_EXPORT_ENTRY
        return found;
    }();
    return exports;
}

// A result handed out by the library, released with corvo_free.
struct HandedOut {
    char* text = nullptr;
    size_t length = 0;
    ~HandedOut() { c().corvo_free(text); }
    std::string str() const { return text == nullptr ? "" : std::string(text, length); }
};

nlohmann::json status() {
    HandedOut json;
    EXPECT_EQ(c().corvo_status(&json.text, &json.length), CORVO_OK);
    return nlohmann::json::parse(json.str());
}

std::string lastError() {
    return c().corvo_last_error();
}

int startSession() {
    return c().corvo_start("c-key", 7, "127.0.0.1", services().http.port());
}

TEST(CInterface, WithoutASessionEveryCallAnswersACodeAndAReason) {
    EXPECT_STREQ(c().corvo_version(), CORVO_VERSION_TEXT);
    EXPECT_EQ(status()["state"], "never started");
    char buffer[8];
    HandedOut out;
    EXPECT_EQ(c().corvo_refresh(buffer, sizeof buffer, nullptr), CORVO_NOT_RUNNING);
    EXPECT_EQ(lastError(), "no session runs");
    EXPECT_EQ(c().corvo_subscribe("A", &out.text, nullptr), CORVO_NOT_RUNNING);
    EXPECT_EQ(c().corvo_query(CORVO_QUERY_IAA, "A", &out.text, nullptr), CORVO_NOT_RUNNING);
    EXPECT_EQ(c().corvo_stop(), CORVO_NOT_RUNNING);
    EXPECT_EQ(c().corvo_start(nullptr, 1, "127.0.0.1", 1), CORVO_BAD_ARGUMENT);
    EXPECT_EQ(c().corvo_start("k", 1, "127.0.0.1", 0), CORVO_BAD_ARGUMENT);
    EXPECT_NE(lastError().find("port"), std::string::npos);
    EXPECT_STREQ(c().corvo_result_name(CORVO_BUFFER_TOO_SMALL), "buffer too small");
    EXPECT_EQ(c().corvo_test(), 6);
}

TEST(CInterface, AFailedStartSaysWhy) {
    services().answer("/balancer", Reply::text("none"));
    EXPECT_EQ(startSession(), CORVO_START_FAILED);
    EXPECT_EQ(lastError(), "the balancer named no usable stream port (0)");
    services().reset();
}

TEST(CInterface, ATooSmallBufferLosesNothingAndIsNeverOverrun) {
    ASSERT_EQ(startSession(), CORVO_OK);
    HandedOut snapshot;
    ASSERT_EQ(c().corvo_subscribe("", &snapshot.text, &snapshot.length), CORVO_OK);
    ASSERT_TRUE(services().publisher.waitForSubscription("", 5s));
    for (int topic = 0; topic < 40; ++topic) {
        services().publisher.publish("Z" + std::to_string(topic) + "_Corvo",
                                     std::string(300, 'a' + topic % 26));
    }
    waitUntilFiled();

    std::string buffer(64 + 16, '#');
    size_t needed = 0;
    ASSERT_EQ(c().corvo_refresh(buffer.data(), 64, &needed), CORVO_BUFFER_TOO_SMALL);
    EXPECT_NE(lastError().find("needs"), std::string::npos);
    EXPECT_EQ(buffer, std::string(80, '#')) << "nothing written, guard bytes untouched";
    EXPECT_GT(needed, 64u);
    EXPECT_LE(needed, static_cast<size_t>(CORVO_REFRESH_CAPACITY));

    std::string served;
    std::string sized(needed + 16, '#');
    ASSERT_EQ(c().corvo_refresh(sized.data(), needed, &needed), CORVO_OK);
    EXPECT_EQ(sized.substr(needed), std::string(16, '#'));
    served += sized.c_str();
    std::vector<char> full(CORVO_REFRESH_CAPACITY);
    corvo_result result;
    while ((result = c().corvo_refresh(full.data(), full.size(), nullptr)) == CORVO_OK) {
        served += full.data();
    }
    EXPECT_EQ(result, CORVO_NOTHING_PENDING);
    for (int topic = 0; topic < 40; ++topic) {
        EXPECT_NE(served.find("\"Z" + std::to_string(topic) + "_Corvo\""), std::string::npos)
            << "topic " << topic << " was lost";
    }
    HandedOut record;
    ASSERT_EQ(c().corvo_symbol_record("Z1", &record.text, &record.length), CORVO_OK);
    EXPECT_EQ(record.str(), "{\"Z1_Corvo\":" + std::string(300, 'b') + "}");
    EXPECT_EQ(c().corvo_symbol_record("NONE", &record.text, nullptr), CORVO_NOT_FOUND);
}

TEST(CInterface, TheStatusFollowsTheStreamThroughAPublisherRestart) {
    ASSERT_EQ(startSession(), CORVO_OK);
    auto const before = status();
    EXPECT_EQ(before["state"], "running");
    EXPECT_EQ(before["endpoint"], services().publisher.endpoint());
    EXPECT_TRUE(before["connected"]);
    EXPECT_GE(before["connects"].get<int>(), 1);
    waitUntilFiled();
    auto const flowing = status();
    EXPECT_GT(flowing["messages"].get<std::uint64_t>(), before["messages"].get<std::uint64_t>());
    ASSERT_FALSE(flowing["last_message_age_ms"].is_null());
    EXPECT_FALSE(flowing["top20_age_ms"].is_null());

    services().publisher.restart();
    EXPECT_TRUE(eventually([&] {
        auto const now = status();
        return now["disconnects"] > flowing["disconnects"] && now["connects"] > flowing["connects"];
    }));
    auto const idle = status()["last_message_age_ms"].get<std::int64_t>();
    EXPECT_TRUE(eventually([&] { return status()["last_message_age_ms"] > idle; }))
        << "the age grows while nothing arrives";
    waitUntilFiled();
    EXPECT_LT(status()["last_message_age_ms"].get<std::int64_t>(), 5000);
}

TEST(CInterface, EachFailureKindHasItsCodeAndReason) {
    ASSERT_EQ(startSession(), CORVO_OK);
    HandedOut reply;
    services().answer("/getiaa", Reply::closeWithoutReply());
    EXPECT_EQ(c().corvo_query(CORVO_QUERY_IAA, "X", &reply.text, nullptr), CORVO_EXCHANGE_FAILED);
    EXPECT_EQ(lastError().rfind("POST /getiaa to 127.0.0.1:" + apiPort() + " failed", 0), 0u)
        << lastError();
    services().answer("/getvolume", Reply::text("{\"v\":1}"));
    ASSERT_EQ(c().corvo_query(CORVO_QUERY_VOLUME, "X", &reply.text, &reply.length), CORVO_OK);
    EXPECT_EQ(reply.str(), "{\"v\":1}");
    EXPECT_EQ(c().corvo_query(CORVO_QUERY_VOLUME, nullptr, &reply.text, nullptr),
              CORVO_BAD_ARGUMENT);
    EXPECT_EQ(c().corvo_query(99, "X", &reply.text, nullptr), CORVO_BAD_ARGUMENT);
    EXPECT_EQ(c().corvo_unsubscribe("NEVER"), CORVO_REFUSED);
    EXPECT_EQ(lastError(), "\"NEVER\" is not subscribed");
    std::string const megabyte(1000000, 'M');
    EXPECT_EQ(c().corvo_subscribe(megabyte.c_str(), &reply.text, nullptr), CORVO_REFUSED);
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(c().corvo_refresh(buffer, 0, nullptr), CORVO_BAD_ARGUMENT);
    EXPECT_EQ(std::string(buffer, 4), "####");
    EXPECT_EQ(c().corvo_status(nullptr, nullptr), CORVO_BAD_ARGUMENT);
}

// Last: nothing may follow the end.
TEST(CInterface, AfterTheEndEveryCallAnswersTornDown) {
    ASSERT_EQ(startSession(), CORVO_OK);
    EXPECT_EQ(c().corvo_end(), CORVO_OK);
    EXPECT_EQ(status()["state"], "torn down");
    char buffer[8];
    HandedOut out;
    EXPECT_EQ(c().corvo_refresh(buffer, sizeof buffer, nullptr), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_start("k", 1, "127.0.0.1", 1), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_top20(&out.text, nullptr), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_end(), CORVO_TORN_DOWN);
    EXPECT_NE(lastError().find("ended"), std::string::npos);
}

}  // namespace
