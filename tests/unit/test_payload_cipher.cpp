#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <ctime>

#include "api/payload_cipher.h"
#include "corvo/build_constants.h"

namespace {

using corvo::api::credentialBlock;
using corvo::api::dayKeyAt;
using corvo::api::encryptPayload;
using corvo::api::xorWithKey;

// An independent AES-128-CBC with PKCS#7 padding to compare against.
std::string opensslEncrypt(const std::string& plaintext) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, corvo::build::kAesKey.data(),
                       corvo::build::kAesIv.data());
    std::string out(plaintext.size() + 32, '\0');
    int written = 0;
    int tail = 0;
    EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                      reinterpret_cast<const unsigned char*>(plaintext.data()),
                      static_cast<int>(plaintext.size()));
    EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(out.data()) + written,
                        &tail);
    out.resize(written + tail);
    return out;
}

std::string encrypt(const std::string& plaintext) {
    return encryptPayload(plaintext, corvo::build::kAesKey, corvo::build::kAesIv);
}

TEST(PayloadCipher, MatchesAnIndependentAesCbcForEveryPaddingCase) {
    std::string withZerosAndBars("ab\0|c|\0\0", 8);
    for (std::string const& plaintext :
         {std::string(), std::string(15, 'x'), std::string(16, 'y'), std::string(17, 'z'),
          std::string(1000, '\0'), withZerosAndBars, std::string(1000, '|')}) {
        std::string const ciphertext = encrypt(plaintext);
        EXPECT_EQ(ciphertext.size(), 16 * (plaintext.size() / 16 + 1));
        EXPECT_EQ(ciphertext, opensslEncrypt(plaintext)) << "length " << plaintext.size();
    }
}

TEST(PayloadCipher, IsDeterministic) {
    EXPECT_EQ(encrypt("same request"), encrypt("same request"));
}

TEST(PayloadCipher, XorRepeatsTheKeyAndKeepsLength) {
    EXPECT_EQ(xorWithKey("", "2019"), "");
    std::string const data = "ABCDE";
    std::string const scrambled = xorWithKey(data, "1234");
    ASSERT_EQ(scrambled.size(), 5u);
    EXPECT_EQ(scrambled[0], 'A' ^ '1');
    EXPECT_EQ(scrambled[4], 'E' ^ '1');  // the fifth byte meets the first digit again
    EXPECT_EQ(xorWithKey(scrambled, "1234"), data);
    EXPECT_EQ(xorWithKey("1", "1"), std::string(1, '\0'));  // equal bytes give a zero byte
}

TEST(PayloadCipher, CredentialBlockJoinsBothScrambledParts) {
    std::string const block = credentialBlock("user", "secretvalue", "1999");
    EXPECT_EQ(block, xorWithKey("user", "1999") + "|" + xorWithKey("secretvalue", "1999"));
}

class DayKey : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* previous = std::getenv("TZ");
        saved_ = previous ? previous : "";
        hadTz_ = previous != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    static std::time_t utc(int year, int month, int day, int hour, int minute) {
        std::tm parts{};
        parts.tm_year = year - 1900;
        parts.tm_mon = month - 1;
        parts.tm_mday = day;
        parts.tm_hour = hour;
        parts.tm_min = minute;
        return timegm(&parts);
    }

  private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST_F(DayKey, IsYearMinusMonthTimesDay) {
    EXPECT_EQ(dayKeyAt(utc(2026, 12, 8, 12, 0), 0), std::to_string(2026 - 12 * 8));
    EXPECT_EQ(dayKeyAt(utc(2026, 1, 1, 0, 0), 0), "2025");
    EXPECT_EQ(dayKeyAt(utc(2025, 12, 31, 23, 59), 0), std::to_string(2025 - 12 * 31));
    // 4 March and 6 February share their key.
    EXPECT_EQ(dayKeyAt(utc(2027, 3, 4, 9, 0), 0), dayKeyAt(utc(2027, 2, 6, 9, 0), 0));
}

TEST_F(DayKey, OffsetMovesLateEveningsToTheNextDay) {
    std::time_t const lateEvening = utc(2026, 6, 30, 23, 50);
    EXPECT_EQ(dayKeyAt(lateEvening, 0), std::to_string(2026 - 6 * 30));
    EXPECT_EQ(dayKeyAt(lateEvening, 15 * 60), std::to_string(2026 - 7 * 1));
    EXPECT_EQ(dayKeyAt(utc(2026, 6, 30, 23, 40), 15 * 60), std::to_string(2026 - 6 * 30));
}

TEST_F(DayKey, FollowsTheLocalTimeZone) {
    setenv("TZ", "UTC-10", 1);  // ten hours east of UTC
    tzset();
    EXPECT_EQ(dayKeyAt(utc(2026, 6, 30, 20, 0), 0), std::to_string(2026 - 7 * 1));
}

}  // namespace
