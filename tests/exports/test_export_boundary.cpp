// The export boundary under abuse: huge, empty and wide texts, null pointers, and every export
// called while a session starts, runs, stops and after it stopped.
#include <filesystem>

#include "common/process_counts.h"
#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
using namespace std::string_literals;
namespace fs = std::filesystem;

// Calls every export but the session ones with `text` as each text argument. Answers how
// many said true; the point is that none crashes, throws or hangs.
int callEverything(const std::u16string& wide, const std::string& narrow) {
    // The snapshot echoes the code twice, so the buffer holds several times the text.
    std::u16string buffer(4 * wide.size() + (1 << 16), u'\0');
    std::string out;
    auto* b = buffer.data();
    int const answers =
        lib().ea_Subscribe(wide.c_str(), b) + lib().ea_Unsubscribe(wide.c_str()) +
        lib().ea_Refresh(b) + lib().ea_Refresh_Symbol(wide.c_str(), b) + lib().ea_getTop20(b) +
        lib().cs_Subscribe(narrow.c_str(), &out) + lib().cs_Unsubscribe(narrow.c_str()) +
        lib().cs_Refresh(&out) + lib().cs_getTop20(&out) + lib().ea_Fundamental(wide.c_str(), b) +
        lib().ea_IAA(wide.c_str(), b) + lib().ea_Volume(wide.c_str(), b) +
        lib().ea_Feedback(1, 2, 3, 4, wide.c_str()) + lib().cs_Fundamental(narrow.c_str(), &out);
    return answers;
}

// The instrument field of the last two requests to `target`: the ea_ call's, then the cs_ one's.
std::pair<std::string, std::string> lastTwoCodesSentTo(const std::string& target) {
    auto const requests = services().requestsTo(target);
    if (requests.size() < 2) {
        return {};
    }
    auto const codeOf = [](const RecordedRequest& request) {
        return splitBars(decryptPayload(request.body)).back();
    };
    return {codeOf(requests[requests.size() - 2]), codeOf(requests.back())};
}

TEST(ExportBoundary, HugeEmptyAndWideTextsInARunningSession) {
    ASSERT_TRUE(ensureSession());
    std::u16string const million(1000000, u'\u0E41');  // every unit narrows to 'A'
    std::string const narrowMillion(1000000, 'B');
    callEverything(million, narrowMillion);
    auto const sent = std::make_pair(std::string(1000000, 'A'), narrowMillion);
    EXPECT_TRUE(lastTwoCodesSentTo("/getfundalatestsinglesym") == sent) << "whole, not cut";
    std::string out = "kept";
    EXPECT_FALSE(lib().cs_Subscribe(narrowMillion.c_str(), &out)) << "no filter of a megabyte";
    EXPECT_EQ(out, "kept");

    callEverything(u"", "");
    EXPECT_EQ(lastTwoCodesSentTo("/getfundalatestsinglesym"), std::make_pair(""s, ""s));
    // Units above 0xFF keep their low byte only, a zero byte included.
    callEverything(u"A,,B, ,\u0100\u01FF", "A,,B, ,");
    EXPECT_EQ(lastTwoCodesSentTo("/getfundalatestsinglesym"),
              std::make_pair(std::string("A,,B, ,\0\xFF", 9), "A,,B, ,"s));
    EXPECT_TRUE(lib().ea_Unsubscribe(u"never"));
    EXPECT_FALSE(lib().cs_Unsubscribe("never"));
}

TEST(ExportBoundary, EveryExportWhileSessionsStartAndStop) {
    std::atomic<bool> cycling{true};
    std::thread lifecycle([&] {
        for (int i = 0; i < 3; ++i) {
            ensureSession();
            lib().ea_Deinitial();
        }
        cycling = false;
    });
    std::vector<std::thread> hosts;
    for (int t = 0; t < 3; ++t) {
        hosts.emplace_back([&] {
            while (cycling) {
                callEverything(u"C1,C2", "C1,C2");
            }
        });
    }
    lifecycle.join();
    for (auto& host : hosts) {
        host.join();
    }
    EXPECT_EQ(callEverything(u"A", "A"), 0) << "a stopped session answers false everywhere";
}

TEST(ExportBoundary, TwentyStartStopCyclesLeaveNothingBehind) {
    services();
    ASSERT_TRUE(ensureSession());
    lib().ea_Deinitial();  // the first start creates what lives for the process
    // The server keeps a finished connection's descriptors until its next accept: count with
    // every finished one freed.
    auto const quiet = [] { return services().http.forgetFinishedConnections() == 0; };
    ASSERT_TRUE(eventually(quiet));
    std::size_t const threads = threadCount();
    std::size_t const descriptors = openDescriptors();
    int const cycles = std::getenv("CORVO_CYCLES") ? std::atoi(std::getenv("CORVO_CYCLES")) : 20;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        ASSERT_TRUE(ensureSession()) << "cycle " << cycle;
        std::string out;
        ASSERT_TRUE(lib().cs_Subscribe("CYC", &out));
        ASSERT_TRUE(lib().ea_Deinitial()) << "cycle " << cycle;
    }
    EXPECT_TRUE(eventually([&] { return threadCount() == threads; }))
        << threadCount() << " threads, " << threads << " before";
    // ZeroMQ closes a closed socket's own descriptors later, on its reaper thread, so the count
    // taken after the first end may still hold some of them: a leak shows as more, never fewer.
    EXPECT_TRUE(eventually([&] { return quiet() && openDescriptors() <= descriptors; }))
        << openDescriptors() << " descriptors, " << descriptors << " before";
}

}  // namespace
