// The reference server's HTTP API: decrypts each body, checks the credentials against the day
// key, and answers every target the library posts to. Called on the HTTP server's connection
// threads; it keeps no state beyond its configuration and the market.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "peer/http_test_server.h"
#include "sim/market_universe.h"

namespace corvo::sim {

struct ApiSettings {
    std::array<std::uint8_t, 16> aesKey{};
    std::array<std::uint8_t, 16> aesIv{};
    std::string clientSecret;
    std::int32_t dayKeyOffset = 0;
    std::map<std::string, std::int32_t> accounts;  // key -> login
    std::uint16_t streamPort = 0;
};

class ApiService {
  public:
    using Log = std::function<void(const std::string&)>;

    ApiService(ApiSettings settings, MarketUniverse& market, Log log);

    testing::Reply answer(const testing::RecordedRequest& request) const;

  private:
    struct Credentials {
        std::string account;  // empty for feedback, which carries no user key
        std::string rest;     // the plaintext after the credential part, "|" included
    };

    std::optional<Credentials> verify(const std::string& target,
                                      const std::string& plaintext) const;
    testing::Reply route(const std::string& target, const Credentials& credentials) const;

    ApiSettings settings_;
    MarketUniverse& market_;
    Log log_;
};

}  // namespace corvo::sim
