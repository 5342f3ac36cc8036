// The pure readers of outside text: reply numbers and delimited lists.
#include <gtest/gtest.h>

#include "api/reply_number.h"
#include "session/session_servers.h"
#include "session/text_fields.h"

namespace {

using corvo::api::readDecimal;
using corvo::session::splitFields;
using corvo::session::withoutWhiteSpace;
using Fields = std::vector<std::string>;

TEST(ReplyNumber, ReadsTheLeadingDigitsLeniently) {
    EXPECT_EQ(readDecimal(" 5555\r\n"), 5555);
    EXPECT_EQ(readDecimal("12abc"), 12);
    EXPECT_EQ(readDecimal("\t\v-42"), -42);
    EXPECT_EQ(readDecimal("+7"), 7);
    EXPECT_EQ(readDecimal("0"), 0);
    EXPECT_EQ(readDecimal("2147483647"), 2147483647);
    EXPECT_EQ(readDecimal("-2147483648"), -2147483647 - 1);
}

TEST(ReplyNumber, RefusesTextWithoutDigitsOrBeyond32Bits) {
    EXPECT_FALSE(readDecimal(""));
    EXPECT_FALSE(readDecimal("abc"));
    EXPECT_FALSE(readDecimal("x1"));
    EXPECT_FALSE(readDecimal("-"));
    EXPECT_FALSE(readDecimal("+ 1"));
    EXPECT_FALSE(readDecimal("99999999999"));
    EXPECT_FALSE(readDecimal("2147483648"));
    EXPECT_FALSE(readDecimal("-2147483649"));
    EXPECT_FALSE(readDecimal(std::string(100000, '9')));
}

TEST(SplitFields, ReadsFieldsLikeAStream) {
    EXPECT_EQ(splitFields("A,B", ','), (Fields{"A", "B"}));
    EXPECT_EQ(splitFields("A,B,", ','), (Fields{"A", "B"}));
    EXPECT_EQ(splitFields("A,,B", ','), (Fields{"A", "", "B"}));
    EXPECT_EQ(splitFields(",A", ','), (Fields{"", "A"}));
    EXPECT_EQ(splitFields("", ','), Fields{});
    EXPECT_EQ(splitFields(",", ','), Fields{""});
    EXPECT_EQ(splitFields("host:", ':'), Fields{"host"});
    EXPECT_EQ(splitFields("host:8080", ':'), (Fields{"host", "8080"}));
    EXPECT_EQ(splitFields("h:1:8080", ':'), (Fields{"h", "1", "8080"}));
}

TEST(SplitFields, WhiteSpaceRemovalTakesEveryKind) {
    EXPECT_EQ(withoutWhiteSpace(" A ,\tB\r\n\v\f"), "A,B");
    EXPECT_EQ(withoutWhiteSpace(" \t "), "");
}

TEST(ServerTexts, LegacyTextsNameTheApiAndTheStreamHost) {
    using corvo::session::readLegacyServers;
    struct Case {
        const char* zmqServer;
        const char* apiServer;
        const char* apiHost;  // null: refused
        std::int32_t port;
        const char* streamHost;
    };
    for (auto const& c : std::vector<Case>{
             {"127.0.0.1", "8080", "127.0.0.1", 8080, "127.0.0.1"},
             {"h:x", "81", "h:x", 81, "h:x"},
             {"[::1]", "8080", "::1", 8080, "[::1]"},
             {"[fe80::1%lo]", " 90abc", "fe80::1%lo", 90, "[fe80::1%lo]"},
             {"h", "", nullptr, 0, nullptr},
             {"h", "1:2:3", nullptr, 0, nullptr},
             {"h", "port", nullptr, 0, nullptr},
             {"[::1]", "", nullptr, 0, nullptr},
         }) {
        auto const read = readLegacyServers(c.zmqServer, c.apiServer);
        ASSERT_EQ(read.servers.ok(), c.apiHost != nullptr) << c.zmqServer << " " << c.apiServer;
        if (read.servers) {
            EXPECT_EQ(read.servers.value().apiHost, c.apiHost);
            EXPECT_EQ(read.servers.value().apiPort, c.port);
            EXPECT_EQ(read.servers.value().streamHost, c.streamHost);
        }
    }
    EXPECT_TRUE(readLegacyServers("h", "port").portUnreadable);
    EXPECT_FALSE(readLegacyServers("h", "1:2:3").portUnreadable);
    EXPECT_EQ(corvo::session::serversOf("::1", 8080).streamHost, "[::1]");
    EXPECT_EQ(corvo::session::serversOf("::1", 8080).apiHost, "::1");
    EXPECT_EQ(corvo::session::serversOf("10.0.0.1", 1).streamHost, "10.0.0.1");
}

}  // namespace
