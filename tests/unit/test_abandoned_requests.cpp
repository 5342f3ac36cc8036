// Abandoned lookup requests: freed once the resolver lets go of them, and a watcher that ends
// when asked or when nothing is held.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "common/eventually.h"
#include "platform/abandoned_requests.h"
#include "platform/name_lookup.h"

namespace {

using corvo::platform::AbandonedRequests;
using corvo::testing::eventually;
using namespace std::chrono_literals;

// What the resolver would report about a request, and whether the list freed it.
struct Marks {
    std::atomic<bool> finished{false};
    std::atomic<bool> freed{false};
};

class StandInRequest {
  public:
    explicit StandInRequest(Marks& marks) : marks_(marks) {}
    StandInRequest(const StandInRequest&) = delete;
    StandInRequest& operator=(const StandInRequest&) = delete;
    ~StandInRequest() { marks_.freed = true; }
    bool finished() const { return marks_.finished; }

  private:
    Marks& marks_;
};

TEST(AbandonedRequests, AFinishedRequestIsFreedWithoutAnotherKeep) {
    Marks marks;  // outlives the list, which may free the request as it goes
    AbandonedRequests<StandInRequest> requests;
    requests.keep(std::make_unique<StandInRequest>(marks));
    EXPECT_FALSE(marks.freed);
    marks.finished = true;
    EXPECT_TRUE(eventually([&] { return marks.freed.load(); }));
}

TEST(AbandonedRequests, SettleEndsTheWatcherAndALaterKeepWatchesAgain) {
    Marks first;
    Marks second;
    AbandonedRequests<StandInRequest> requests;
    requests.keep(std::make_unique<StandInRequest>(first));
    EXPECT_TRUE(requests.watching());

    requests.settle();
    EXPECT_FALSE(requests.watching()) << "settle returns with the watcher ended";
    EXPECT_FALSE(first.freed) << "a request the resolver still holds stays held";

    requests.keep(std::make_unique<StandInRequest>(second));
    first.finished = true;
    EXPECT_TRUE(eventually([&] { return first.freed.load(); }));
    EXPECT_FALSE(second.freed);
    second.finished = true;
    EXPECT_TRUE(eventually([&] { return second.freed.load(); }));
    EXPECT_TRUE(eventually([&] { return !requests.watching(); })) << "ends with nothing held";
}

// The system resolver's own requests, cancelled and abandoned while its helpers may still hold
// them; the sanitizer builds check that our side frees each exactly once and leaks none.
TEST(AbandonedRequests, RealLookupsAbandonedAtOnceAreSettled) {
    for (int round = 0; round < 200; ++round) {
        (void)corvo::platform::startNameLookup("localhost");
    }
    auto const settling = std::chrono::steady_clock::now();
    corvo::platform::settleAbandonedLookups();
    EXPECT_LT(std::chrono::steady_clock::now() - settling, 1s);

    auto const lookup = corvo::platform::startNameLookup("localhost");
    ASSERT_TRUE(lookup->waitUntil(std::chrono::steady_clock::now() + 10s));
    EXPECT_FALSE(lookup->result().addresses.empty()) << lookup->result().error;
}

}  // namespace
