// The reference server's market: a universe of instruments whose quotes, fundamentals, IAA
// and volume data are generated deterministically from a seed. Thread safe: quotes advance
// under a mutex, everything else is computed from the seed.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace corvo::sim {

class MarketUniverse {
  public:
    MarketUniverse(std::uint64_t seed, std::size_t instrumentCount);

    const std::vector<std::string>& codes() const { return codes_; }

    // Moves one instrument's quote on and answers its stream topic and payload.
    std::pair<std::string, std::string> nextQuote();

    // {"CODE_Corvo":{quote}}: the snapshot the subscription call answers.
    std::string snapshot(const std::string& code) const;
    std::string top20() const;

    std::string fundamentalsAll() const;  // array of objects keyed by "Symbol"
    std::string fundamental(const std::string& code) const;
    std::string iaaAll() const;  // array of objects keyed by "symbol"
    std::string iaa(const std::string& code) const;
    std::string volumesAll() const;  // object of objects, keyed by code, each with "Symbol"
    std::string volume(const std::string& code) const;
    std::string keyStatistics() const;

  private:
    struct Quote {
        double last;
        double open;
        std::uint64_t volume;
        std::uint64_t sequence;
    };

    std::string quoteJson(std::size_t index) const;  // caller holds mutex_
    // A JSON array of `one` applied to every instrument.
    std::string everyInstrument(std::string (MarketUniverse::*one)(const std::string&) const) const;
    std::size_t indexOf(const std::string& code) const;
    double seededValue(std::size_t index, std::uint64_t salt, double low, double high) const;

    std::uint64_t seed_;
    std::vector<std::string> codes_;
    mutable std::mutex mutex_;
    std::vector<Quote> quotes_;
    std::mt19937_64 random_;
    std::size_t next_ = 0;
};

}  // namespace corvo::sim
