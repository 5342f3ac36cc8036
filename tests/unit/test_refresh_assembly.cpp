#include <gtest/gtest.h>

#include "session/refresh_assembly.h"

namespace {

using corvo::session::assembleRefresh;
using corvo::session::RecordMap;
using corvo::session::RefreshFamily;
using Topics = std::vector<std::string>;

// A record of exactly `size` bytes for `topic`: "\"topic\":" followed by filler.
std::string recordOfSize(const std::string& topic, std::size_t size) {
    std::string record = "\"" + topic + "\":";
    record.append(size - record.size(), 'x');
    return record;
}

TEST(RefreshAssembly, JoinsRecordsInTopicOrder) {
    RecordMap const records{{"B_Corvo", "\"B_Corvo\":2"}, {"A_Corvo", "\"A_Corvo\":1"}};
    Topics deferred;
    auto const result =
        assembleRefresh({"B_Corvo", "A_Corvo"}, records, RefreshFamily::cs, deferred);
    EXPECT_TRUE(result.appended);
    EXPECT_EQ(result.text, "{\"B_Corvo\":2,\"A_Corvo\":1}");
    EXPECT_TRUE(deferred.empty());
}

TEST(RefreshAssembly, DefersWhatDoesNotFitBelowTheLimit) {
    RecordMap records;
    Topics topics;
    for (std::string const name : {"A_Corvo", "B_Corvo", "C_Corvo"}) {
        records[name] = recordOfSize(name, 6000);
        topics.push_back(name);
    }
    Topics deferred;
    auto const first = assembleRefresh(topics, records, RefreshFamily::cs, deferred);
    EXPECT_EQ(first.text, "{" + records["A_Corvo"] + "}");
    EXPECT_EQ(deferred, (Topics{"B_Corvo", "C_Corvo"}));
}

TEST(RefreshAssembly, RecordOf9997BytesFitsAloneAnd9998IsDropped) {
    RecordMap records{{"A_Corvo", recordOfSize("A_Corvo", 9997)},
                      {"B_Corvo", recordOfSize("B_Corvo", 9998)}};
    Topics deferred;
    auto const fits = assembleRefresh({"A_Corvo"}, records, RefreshFamily::ea, deferred);
    EXPECT_TRUE(fits.appended);
    EXPECT_EQ(fits.text.size(), 9997u + 2);
    auto const never = assembleRefresh({"B_Corvo"}, records, RefreshFamily::ea, deferred);
    EXPECT_FALSE(never.appended);
    EXPECT_EQ(never.text, "{}");
    EXPECT_TRUE(deferred.empty()) << "a record that can never fit must not block the queue";
}

TEST(RefreshAssembly, SkipsZeroBytesAndForEaTopicsWithoutCorvo) {
    RecordMap const records{{"Z_Corvo", std::string("\"Z_Corvo\":\0", 11)},
                            {"plain", "\"plain\":1"}};
    Topics deferred;
    auto const cs = assembleRefresh({"Z_Corvo", "plain"}, records, RefreshFamily::cs, deferred);
    EXPECT_EQ(cs.text, "{\"plain\":1}");
    auto const ea = assembleRefresh({"Z_Corvo", "plain"}, records, RefreshFamily::ea, deferred);
    EXPECT_FALSE(ea.appended);
    EXPECT_EQ(ea.text, "{}");
    EXPECT_TRUE(deferred.empty());
}

TEST(RefreshAssembly, ATopicWithoutRecordCountsAsAnEmptyRecord) {
    Topics deferred;
    auto const result = assembleRefresh({"gone_Corvo"}, RecordMap{}, RefreshFamily::ea, deferred);
    EXPECT_TRUE(result.appended);
    EXPECT_EQ(result.text, "{}");
}

}  // namespace
