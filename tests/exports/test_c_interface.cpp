// The sized C interface through the loaded library: sizes never overrun, nothing is lost when a
// buffer is too small, the status follows the stream, and every failure has a code and a
// reason. Its own process, since it ends the library.
#include <nlohmann/json.hpp>

#include <poll.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "common/process_counts.h"
#include "corvo.h"
#include "exports/export_session.h"

namespace {

namespace fs = std::filesystem;
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

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string lastError() {
    return c().corvo_last_error();
}

// Starts a session unless one runs.
int startSession() {
    int const result = c().corvo_start("c-key", 7, "127.0.0.1", services().http.port());
    return result == CORVO_ALREADY_RUNNING ? CORVO_OK : result;
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
    std::string const api = "POST /balancer to 127.0.0.1:" + apiPort();
    struct Case {
        Reply balancer;
        std::string reason;
    };
    for (auto const& c : std::vector<Case>{
             {Reply::text("none"),
              "the balancer failed: " + api + " answered \"none\", not a number"},
             {Reply::text("0"), "the balancer named no usable stream port (0)"},
             {Reply::text("Unauthorized", 401),
              "the API refused the credentials: " + api + " answered HTTP 401: Unauthorized"},
             {Reply::text("5555", 500), "the balancer failed: " + api + " answered HTTP 500: 5555"},
         }) {
        services().answer("/balancer", c.balancer);
        EXPECT_EQ(startSession(), CORVO_START_FAILED);
        EXPECT_EQ(lastError(), c.reason);
    }
    services().reset();
}

TEST(CInterface, AStreamThatNeverCompletesItsHandshakeFailsTheStartAndLeavesNoThread) {
    c().corvo_stop();
    services();  // its server threads belong to the baseline
    std::size_t const baseline = threadCount();
    // Accepted by the kernel, never answered: the secure handshake cannot complete.
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor silent(io, {boost::asio::ip::address_v4::loopback(), 0});
    std::string const port = std::to_string(silent.local_endpoint().port());
    services().answer("/balancer", Reply::text(port));
    EXPECT_EQ(startSession(), CORVO_START_FAILED);
    EXPECT_EQ(lastError(), "the stream tcp://127.0.0.1:" + port +
                               " did not complete the secure handshake within 15 s");
    EXPECT_TRUE(eventually([&] { return threadCount() == baseline; }, 2s))
        << threadCount() << " threads, " << baseline << " before";
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

// Whether the update handle is readable within `timeoutMs`.
bool handleReadable(intptr_t handle, int timeoutMs) {
    pollfd watched{static_cast<int>(handle), POLLIN, 0};
    return poll(&watched, 1, timeoutMs) == 1 && (watched.revents & POLLIN) != 0;
}

// Threads blocked in corvo_wait. Bounded beyond expectAll's deadline, so a waiter that is
// never woken fails the test instead of holding it at the futures' end.
std::vector<std::future<corvo_result>> waiters(int count) {
    std::vector<std::future<corvo_result>> started;
    for (int i = 0; i < count; ++i) {
        started.push_back(std::async(std::launch::async, [] { return c().corvo_wait(10000); }));
    }
    return started;
}

void expectAll(std::vector<std::future<corvo_result>>& woken, corvo_result expected) {
    for (auto& waiter : woken) {
        ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(waiter.get(), expected);
    }
}

TEST(CInterface, WaitersAndTheHandleFollowWhatARefreshWouldTake) {
    c().corvo_stop();
    EXPECT_EQ(c().corvo_wait(0), CORVO_NOT_RUNNING);
    intptr_t handle = -1;
    ASSERT_EQ(c().corvo_event_handle(&handle), CORVO_OK);
    EXPECT_EQ(c().corvo_event_handle(nullptr), CORVO_BAD_ARGUMENT);
    ASSERT_EQ(startSession(), CORVO_OK);
    HandedOut snapshot;
    ASSERT_EQ(c().corvo_subscribe("", &snapshot.text, nullptr), CORVO_OK);
    ASSERT_TRUE(services().publisher.waitForSubscription("", 5s));
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c().corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    EXPECT_FALSE(handleReadable(handle, 0));
    EXPECT_EQ(c().corvo_wait(0), CORVO_NOTHING_PENDING);
    auto const waitStarted = std::chrono::steady_clock::now();
    EXPECT_EQ(c().corvo_wait(60), CORVO_NOTHING_PENDING);
    EXPECT_GE(std::chrono::steady_clock::now() - waitStarted, 50ms);

    auto woken = waiters(3);
    services().publisher.publish("W_Corvo", "1");
    expectAll(woken, CORVO_OK);
    EXPECT_TRUE(handleReadable(handle, 5000));
    EXPECT_EQ(c().corvo_wait(-1), CORVO_OK) << "at once while updates are pending";
    HandedOut record;
    ASSERT_EQ(c().corvo_symbol_record("W", &record.text, nullptr), CORVO_OK);
    EXPECT_TRUE(handleReadable(handle, 0)) << "a symbol record leaves updates pending";
    ASSERT_EQ(c().corvo_refresh(buffer.data(), buffer.size(), nullptr), CORVO_OK);
    EXPECT_STREQ(buffer.data(), "{\"W_Corvo\":1}");
    EXPECT_FALSE(handleReadable(handle, 0));
    EXPECT_EQ(c().corvo_wait(0), CORVO_NOTHING_PENDING);

    // A legacy refresh clears it just the same; the handle stays the same one.
    services().publisher.publish("V_Corvo", "2");
    ASSERT_TRUE(handleReadable(handle, 5000));
    std::string taken;
    ASSERT_TRUE(lib().cs_Refresh(&taken));
    EXPECT_FALSE(handleReadable(handle, 0));
    intptr_t again = -1;
    ASSERT_EQ(c().corvo_event_handle(&again), CORVO_OK);
    EXPECT_EQ(again, handle);

    auto stopped = waiters(2);
    ASSERT_EQ(c().corvo_stop(), CORVO_OK);
    expectAll(stopped, CORVO_NOT_RUNNING);
    EXPECT_EQ(c().corvo_wait(-1), CORVO_NOT_RUNNING);
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

    // "bytes" counts the topic and payload frames as they arrived.
    HandedOut snapshot;
    ASSERT_EQ(c().corvo_subscribe("", &snapshot.text, nullptr), CORVO_OK);
    ASSERT_TRUE(services().publisher.waitForSubscription("", 5s));
    auto const quiet = status();
    services().publisher.publish("B_Corvo", "12345");
    services().publisher.publish("Top20", "xyz");
    ASSERT_TRUE(
        eventually([&] { return status()["messages"] == quiet["messages"].get<int>() + 2; }));
    EXPECT_EQ(status()["bytes"].get<std::uint64_t>(), quiet["bytes"].get<std::uint64_t>() + 12 + 8);

    // A record after a quiet spell restarts the age as a ranking does.
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c().corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    ASSERT_TRUE(eventually([&] { return status()["last_message_age_ms"] >= 300; }));
    services().publisher.publish("Q_Corvo", "1");
    ASSERT_EQ(c().corvo_wait(5000), CORVO_OK);
    EXPECT_LT(status()["last_message_age_ms"].get<std::int64_t>(), 300);
}

TEST(CInterface, AStreamMovedToAnotherPortIsFollowedWithItsFilters) {
    ASSERT_EQ(startSession(), CORVO_OK);
    HandedOut snapshot;
    ASSERT_EQ(c().corvo_subscribe("MV", &snapshot.text, nullptr), CORVO_OK);
    ASSERT_TRUE(services().publisher.waitForSubscription("MV_", 5s));
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c().corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    auto const before = status();
    services().publisher.moveToNewPort();
    services().answer("/balancer", Reply::text(std::to_string(services().publisher.port())));
    ASSERT_TRUE(services().publisher.waitForSubscription("MV_", 10s)) << "filters restored there";
    services().publisher.publish("MV_Corvo", "7");
    ASSERT_EQ(c().corvo_wait(5000), CORVO_OK);
    ASSERT_EQ(c().corvo_refresh(buffer.data(), buffer.size(), nullptr), CORVO_OK);
    EXPECT_STREQ(buffer.data(), "{\"MV_Corvo\":7}");
    auto const after = status();
    EXPECT_EQ(after["endpoint"], services().publisher.endpoint());
    EXPECT_EQ(after["moves"], before["moves"].get<int>() + 1);
    EXPECT_EQ(c().corvo_unsubscribe("MV"), CORVO_OK);
    services().reset();
}

TEST(CInterface, AStopNeverWaitsOnTheNetwork) {
    using Clock = std::chrono::steady_clock;
    ASSERT_EQ(startSession(), CORVO_OK);
    services().answer("/getsymboldatas", Reply::stall());
    auto const snapshotsBefore = services().requestsTo("/getsymboldatas").size();
    corvo_result subscribed = CORVO_OK;
    Clock::time_point subscribeReturned;
    std::thread host([&] {
        HandedOut snapshot;
        subscribed = c().corvo_subscribe("SA,SB,SC", &snapshot.text, nullptr);
        subscribeReturned = Clock::now();
    });
    ASSERT_TRUE(eventually(
        [&] { return services().requestsTo("/getsymboldatas").size() == snapshotsBefore + 1; }));
    auto const stopAsked = Clock::now();
    EXPECT_EQ(c().corvo_stop(), CORVO_OK);
    EXPECT_LT(Clock::now() - stopAsked, 2s);
    host.join();
    EXPECT_LT(subscribeReturned - stopAsked, 2s);
    EXPECT_EQ(subscribed, CORVO_NOT_RUNNING);
    EXPECT_EQ(services().requestsTo("/getsymboldatas").size(), snapshotsBefore + 1);

    // A start stalled at the balancer gives up as soon as a stop is asked for.
    services().answer("/balancer", Reply::stall());
    auto const balancerBefore = services().requestsTo("/balancer").size();
    corvo_result started = CORVO_OK;
    Clock::time_point startReturned;
    std::thread starter([&] {
        started = startSession();
        startReturned = Clock::now();
    });
    ASSERT_TRUE(eventually(
        [&] { return services().requestsTo("/balancer").size() == balancerBefore + 1; }));
    auto const secondStop = Clock::now();
    EXPECT_EQ(c().corvo_stop(), CORVO_NOT_RUNNING);
    EXPECT_LT(Clock::now() - secondStop, 2s);
    starter.join();
    EXPECT_EQ(started, CORVO_START_FAILED);
    EXPECT_LT(startReturned - secondStop, 2s);
    services().http.releaseStalls();
    services().reset();
}

TEST(CInterface, AStartEndsWithinItsBoundWhateverTheApiDoes) {
    c().corvo_stop();
    services().answer("/balancer", Reply::stall());
    auto const started = std::chrono::steady_clock::now();
    EXPECT_EQ(startSession(), CORVO_START_FAILED);
    auto const elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, 14s);
    EXPECT_LT(elapsed, 17s) << "one bound for the whole start, not one per exchange";
    EXPECT_NE(lastError().find("POST /balancer"), std::string::npos) << lastError();
    services().http.releaseStalls();
    services().reset();
}

TEST(CInterface, EveryFunctionAnswersEachFailureWithItsCodeAndReason) {
    ASSERT_EQ(startSession(), CORVO_OK);
    auto const to = " to 127.0.0.1:" + apiPort();
    auto const directory = fs::temp_directory_path() / ("corvo-c-files-" + apiPort());
    fs::remove_all(directory);
    fs::create_directories(directory / "iaa");
    std::ofstream(directory / "iaa" / "KEEP.json") << "kept";
    std::ofstream(directory / "plain") << "a file";
    HandedOut out;
    struct Case {
        const char* target;  // scripted first, unless null
        Reply reply;
        std::function<corvo_result()> call;
        corvo_result code;
        std::string reason;  // what the reason starts with
    };
    auto const query = [&] { return c().corvo_query(CORVO_QUERY_IAA, "X", &out.text, nullptr); };
    auto const feedback = [] { return c().corvo_feedback(1, 2, 3, 4, "m"); };
    auto const files = [&](const fs::path& path) {
        return [&, path] { return c().corvo_export_files(CORVO_FILES_IAA, path.string().c_str()); };
    };
    auto const subscribe = [&](const char* symbols) {
        return [&, symbols] { return c().corvo_subscribe(symbols, &out.text, nullptr); };
    };
    std::vector<Case> const cases{
        {"/getiaa", Reply::closeWithoutReply(), query, CORVO_EXCHANGE_FAILED,
         "POST /getiaa" + to + " failed: "},
        {"/getiaa", Reply::text("no such key", 401), query, CORVO_REFUSED,
         "POST /getiaa" + to + " answered HTTP 401: no such key"},
        {"/getiaa", Reply::text("", 503), query, CORVO_EXCHANGE_FAILED,
         "POST /getiaa" + to + " answered HTTP 503"},
        {nullptr,
         {},
         [&] { return c().corvo_query(99, "X", &out.text, nullptr); },
         CORVO_BAD_ARGUMENT,
         "bad argument"},
        {"/feedback", Reply::text("0"), feedback, CORVO_REFUSED,
         "the API refused the feedback: it answered 0"},
        {"/feedback", Reply::closeWithoutReply(), feedback, CORVO_EXCHANGE_FAILED,
         "POST /feedback" + to + " failed: "},
        {"/feedback", Reply::text("thanks"), feedback, CORVO_EXCHANGE_FAILED,
         "POST /feedback" + to + " answered \"thanks\", not a number"},
        {"/feedback", Reply::text("1", 403), feedback, CORVO_REFUSED,
         "POST /feedback" + to + " answered HTTP 403: 1"},
        {nullptr, {}, subscribe("zzz,aaa"), CORVO_NOT_FOUND, "no snapshot arrived for zzz, aaa"},
        {"/getsymboldatas", Reply::closeWithoutReply(), subscribe("Q"), CORVO_EXCHANGE_FAILED,
         "POST /getsymboldatas" + to + " failed: "},
        {"/getsymboldatas", Reply::text("{}", 404), subscribe("Q"), CORVO_REFUSED,
         "POST /getsymboldatas" + to + " answered HTTP 404: {}"},
        {nullptr,
         {},
         [] { return c().corvo_subscribe(nullptr, nullptr, nullptr); },
         CORVO_BAD_ARGUMENT,
         "bad argument"},
        {nullptr,
         {},
         [] { return c().corvo_unsubscribe("NEVER"); },
         CORVO_REFUSED,
         "\"NEVER\" is not subscribed"},
        {"/get_iaa_all_symbols", Reply::closeWithoutReply(), files(directory),
         CORVO_EXCHANGE_FAILED, "POST /get_iaa_all_symbols" + to + " failed: "},
        {"/get_iaa_all_symbols", Reply::text("<html>"), files(directory), CORVO_EXCHANGE_FAILED,
         "POST /get_iaa_all_symbols" + to + ": the answer is not JSON"},
        {"/get_iaa_all_symbols", Reply::text("[1]"), files(directory), CORVO_EXCHANGE_FAILED,
         "POST /get_iaa_all_symbols" + to + ": element 0 of the answer is not an object"},
        {"/get_iaa_all_symbols", Reply::text("[]"), files(directory / "plain"), CORVO_INTERNAL,
         "the output directory \"" + (directory / "plain" / "iaa").string() + "\" cannot be used"},
        {nullptr,
         {},
         [] { return c().corvo_export_files(7, nullptr); },
         CORVO_BAD_ARGUMENT,
         "bad argument"},
        {nullptr,
         {},
         [&] { return c().corvo_symbol_record("NONE", &out.text, nullptr); },
         CORVO_NOT_FOUND,
         "not found"},
        {nullptr,
         {},
         [] { return c().corvo_start("k", 1, "127.0.0.1", 1); },
         CORVO_ALREADY_RUNNING,
         "a session already runs"},
        {nullptr,
         {},
         [] { return c().corvo_status(nullptr, nullptr); },
         CORVO_BAD_ARGUMENT,
         "bad argument"},
    };
    for (auto const& k : cases) {
        services().reset();
        if (k.target != nullptr) {
            services().answer(k.target, k.reply);
        }
        EXPECT_EQ(k.call(), k.code) << k.reason;
        EXPECT_EQ(lastError().rfind(k.reason, 0), 0u) << lastError();
    }
    services().reset();
    EXPECT_EQ(readFile(directory / "iaa" / "KEEP.json"), "kept") << "no failure touched a file";
    services().answer("/getvolumeallsymbols", Reply::text("{}"));
    EXPECT_EQ(
        c().corvo_export_files(CORVO_FILES_VOLUME, (directory / "new" / "deeper").string().c_str()),
        CORVO_OK)
        << lastError();
    EXPECT_TRUE(fs::is_directory(directory / "new" / "deeper" / "volume"));
    fs::remove_all(directory);

    ASSERT_EQ(c().corvo_subscribe("AAA,zzz,aaa", &out.text, &out.length), CORVO_OK);
    EXPECT_EQ(out.str(), "{\"AAA_Corvo\":{\"snapshot\":\"AAA\"}}");
}

TEST(CInterface, EachFailureKindHasItsCodeAndReason) {
    ASSERT_EQ(startSession(), CORVO_OK);
    HandedOut reply;
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
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    while (c().corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
    }
    auto woken = waiters(2);
    EXPECT_EQ(c().corvo_end(), CORVO_OK);
    expectAll(woken, CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_wait(0), CORVO_TORN_DOWN);
    EXPECT_EQ(status()["state"], "torn down");
    HandedOut out;
    EXPECT_EQ(c().corvo_refresh(buffer.data(), buffer.size(), nullptr), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_start("k", 1, "127.0.0.1", 1), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_top20(&out.text, nullptr), CORVO_TORN_DOWN);
    EXPECT_EQ(c().corvo_end(), CORVO_TORN_DOWN);
    EXPECT_NE(lastError().find("ended"), std::string::npos);
}

}  // namespace
