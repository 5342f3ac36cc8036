// Query exports of both families on a running session.
#include "exports/export_session.h"

namespace {

using namespace corvo::testing;

class QueryExports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(ensureSession()); }
    void SetUp() override { services().reset(); }
};

using EaQuery = bool (*)(corvo_char16*);
using EaSymbolQuery = bool (*)(const corvo_char16*, corvo_char16*);

TEST_F(QueryExports, EveryEaQueryWidensTheReplyIntoTheBuffer) {
    std::vector<std::pair<const char*, EaQuery>> const whole{
        {"/getfundalastyearallsym", lib().ea_FundamentalAllLastYear},
        {"/get_iaa_all_symbols", lib().ea_IAAAllSymbols},
        {"/get_key_market_statistics_performance", lib().ea_KeyMarketStatisticsPerformance}};
    for (auto const& [target, query] : whole) {
        services().answer(target, Reply::text(std::string("{\"t\":\"") + target + "\"}"));
        std::u16string buffer(128, u'\0');
        ASSERT_TRUE(query(buffer.data())) << target;
        EXPECT_EQ(readBack(buffer), std::string("{\"t\":\"") + target + "\"}");
    }
    std::vector<std::pair<const char*, EaSymbolQuery>> const single{
        {"/getfundalatestsinglesym", lib().ea_Fundamental},
        {"/getiaa", lib().ea_IAA},
        {"/getvolume", lib().ea_Volume}};
    for (auto const& [target, query] : single) {
        services().answer(target, Reply::text("ok"));
        std::u16string buffer(16, u'\0');
        std::u16string const symbol{0x0150, 'T', 'T', 0};  // U+0150 keeps its low byte 'P'
        ASSERT_TRUE(query(symbol.c_str(), buffer.data())) << target;
        EXPECT_EQ(readBack(buffer), "ok");
        EXPECT_EQ(splitBars(decryptPayload(services().requestsTo(target).back().body)).back(),
                  "PTT");
    }
}

TEST_F(QueryExports, FailedExchangesGiveTheTextZero) {
    services().answer("/getfundalastyearallsym", Reply::closeWithoutReply());
    std::u16string buffer(4, u'x');
    ASSERT_TRUE(lib().ea_FundamentalAllLastYear(buffer.data()));
    EXPECT_EQ(buffer, u"0xxx") << "one unit written, no terminator";
    std::string text = "previous";
    ASSERT_TRUE(lib().cs_FundamentalAllLastYear(&text));
    EXPECT_EQ(text, "0");
    services().answer("/getfundalatestsinglesym", Reply::text("error body", 500));
    ASSERT_TRUE(lib().cs_Fundamental("PTT", &text));
    EXPECT_EQ(text, "error body");
}

TEST_F(QueryExports, ShorterResultsLeaveTheEarlierTail) {
    services().answer("/getiaa", Reply::text("0123456789ABCDEF"));
    std::u16string buffer(32, u'\0');
    auto const symbol = u16("S");
    ASSERT_TRUE(lib().ea_IAA(symbol.c_str(), buffer.data()));
    services().answer("/getiaa", Reply::text("abcdefghij"));
    ASSERT_TRUE(lib().ea_IAA(symbol.c_str(), buffer.data()));
    EXPECT_EQ(readBack(buffer), "abcdefghijABCDEF");
}

TEST_F(QueryExports, MegabyteRepliesArriveWholeAndSignExtended) {
    std::string reply(3 << 20, 'a');
    reply[12345] = '\xC3';
    services().answer("/get_iaa_all_symbols", Reply::text(reply));
    std::u16string buffer(reply.size() + 1, u'\0');
    ASSERT_TRUE(lib().ea_IAAAllSymbols(buffer.data()));
    EXPECT_EQ(buffer[12345], char16_t{0xFFC3});
    EXPECT_EQ(buffer[reply.size() - 1], u'a');
    EXPECT_EQ(buffer[reply.size()], u'\0');
    std::string text;
    services().answer("/getfundalastyearallsym", Reply::text(reply));
    ASSERT_TRUE(lib().cs_FundamentalAllLastYear(&text));
    EXPECT_TRUE(text == reply);
}

TEST_F(QueryExports, FeedbackAnswersTheServersNumber) {
    auto const message = u16("great|service");
    services().answer("/feedback", Reply::text("5"));
    EXPECT_TRUE(lib().ea_Feedback(4242, -1, 2, 3, message.c_str()));
    auto const fields = splitBars(decryptPayload(services().requestsTo("/feedback").back().body));
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[2], "-1");
    EXPECT_EQ(fields[5], "greatservice");
    services().answer("/feedback", Reply::closeWithoutReply());
    EXPECT_FALSE(lib().ea_Feedback(4242, 0, 0, 0, message.c_str()));
}

}  // namespace
