// The request cipher of both sides against known answers computed outside the project (see
// tests/data/known_answers): the client's own functions and the peers' independent ones, so a
// fault in either shows here instead of being mirrored by the other.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>

#include "api/payload_cipher.h"
#include "peer/wire_protocol.h"
#include "support/known_answers.h"

namespace {

using corvo::testing::blockFromHex;
using corvo::testing::fromHex;
using corvo::testing::knownAnswers;
using Block = std::array<std::uint8_t, 16>;
using Text = const std::string&;

struct Side {
    std::string name;
    std::function<std::string(std::time_t, std::int32_t)> dayKeyAt;
    std::function<std::string(Text, Text)> xorWithKey;
    std::function<std::string(Text, Text, Text)> credentialBlock;
    std::function<std::string(Text, const Block&, const Block&)> encrypt;
};

const Side kClient{"Client", corvo::api::dayKeyAt, corvo::api::xorWithKey,
                   corvo::api::credentialBlock, corvo::api::encryptPayload};
const Side kPeer{"Peer", corvo::peer::dayKeyAt, corvo::peer::xorWithKey,
                 corvo::peer::credentialBlock, corvo::peer::encryptPayload};

// Names the side in failure messages instead of dumping its bytes.
void PrintTo(const Side& side, std::ostream* out) {
    *out << side.name;
}

// TZ for one scope: the day key follows the machine's local date.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(Text zone) {
        if (const char* previous = std::getenv("TZ")) {
            saved_ = previous;
        }
        setenv("TZ", zone.c_str(), 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> saved_;
};

class RequestCipher : public ::testing::TestWithParam<Side> {};

TEST_P(RequestCipher, EncryptsEveryPaddingCaseToTheKnownAnswer) {
    for (auto const& known : knownAnswers("aes_128_cbc.txt")) {
        std::string const plaintext = fromHex(known.at("plain"));
        std::string const ciphertext = GetParam().encrypt(plaintext, blockFromHex(known.at("key")),
                                                          blockFromHex(known.at("iv")));
        EXPECT_EQ(ciphertext.size(), 16 * (plaintext.size() / 16 + 1));
        EXPECT_EQ(ciphertext, fromHex(known.at("cipher"))) << plaintext.size() << " bytes";
    }
}

TEST_P(RequestCipher, ScramblesCredentialsToTheKnownAnswers) {
    for (auto const& known : knownAnswers("xor.txt")) {
        EXPECT_EQ(GetParam().xorWithKey(fromHex(known.at("data")), fromHex(known.at("key"))),
                  fromHex(known.at("out")))
            << known.at("data");
    }
    for (auto const& known : knownAnswers("credential_block.txt")) {
        EXPECT_EQ(GetParam().credentialBlock(fromHex(known.at("user")), fromHex(known.at("secret")),
                                             known.at("day")),
                  fromHex(known.at("block")))
            << known.at("user");
    }
}

TEST_P(RequestCipher, DayKeyFollowsTheLocalDateOfEveryKnownAnswer) {
    for (auto const& known : knownAnswers("day_key.txt")) {
        ScopedTimeZone const zone(known.at("tz"));
        EXPECT_EQ(GetParam().dayKeyAt(std::stoll(known.at("time")), std::stoi(known.at("offset"))),
                  known.at("key"))
            << known.at("tz") << " " << known.at("time") << " + " << known.at("offset");
    }
}

INSTANTIATE_TEST_SUITE_P(BothSides, RequestCipher, ::testing::Values(kClient, kPeer),
                         [](const auto& info) { return info.param.name; });

}  // namespace
