#include "sim/market_universe.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace corvo::sim {
namespace {

using json = nlohmann::json;

// Codes AAA, AAB, ... so every seed gives the same names for the same count.
std::string codeFor(std::size_t index) {
    std::string code(3, 'A');
    for (int position = 2; position >= 0; --position) {
        code[position] = static_cast<char>('A' + index % 26);
        index /= 26;
    }
    return code;
}

double rounded(double value) {
    return std::round(value * 100.0) / 100.0;
}

}  // namespace

MarketUniverse::MarketUniverse(std::uint64_t seed, std::size_t instrumentCount)
    : seed_(seed), random_(seed) {
    for (std::size_t i = 0; i < instrumentCount; ++i) {
        codes_.push_back(codeFor(i));
        double const price = rounded(seededValue(i, 1, 5.0, 500.0));
        quotes_.push_back({price, price, 0, 0});
    }
}

double MarketUniverse::seededValue(std::size_t index, std::uint64_t salt, double low,
                                   double high) const {
    std::mt19937_64 generator(seed_ ^ (index * 0x9E3779B97F4A7C15ull) ^ (salt << 32));
    return std::uniform_real_distribution<double>(low, high)(generator);
}

std::size_t MarketUniverse::indexOf(const std::string& code) const {
    auto const found = std::find(codes_.begin(), codes_.end(), code);
    return found == codes_.end() ? codes_.size() : static_cast<std::size_t>(found - codes_.begin());
}

std::pair<std::string, std::string> MarketUniverse::nextQuote() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t const index = next_;
    next_ = (next_ + 1) % quotes_.size();
    auto& quote = quotes_[index];
    double const step = std::normal_distribution<double>(0.0, 0.002)(random_);
    quote.last = std::max(0.01, rounded(quote.last * (1.0 + step)));
    quote.volume += std::uniform_int_distribution<std::uint64_t>(1, 50)(random_) * 100;
    ++quote.sequence;
    return {codes_[index] + "_Corvo", quoteJson(index)};
}

std::string MarketUniverse::quoteJson(std::size_t index) const {
    auto const& quote = quotes_[index];
    double const spread = std::max(0.01, rounded(quote.last * 0.0005));
    json const payload{{"symbol", codes_[index]},
                       {"last", quote.last},
                       {"bid", rounded(quote.last - spread)},
                       {"ask", rounded(quote.last + spread)},
                       {"change", rounded(quote.last - quote.open)},
                       {"volume", quote.volume},
                       {"seq", quote.sequence}};
    return payload.dump();
}

std::string MarketUniverse::snapshot(const std::string& code) const {
    std::size_t const index = indexOf(code);
    if (index == codes_.size()) {
        return "{}";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return "{\"" + code + "_Corvo\":" + quoteJson(index) + "}";
}

std::string MarketUniverse::top20() const {
    std::vector<std::pair<double, std::string>> movers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < quotes_.size(); ++i) {
            movers.emplace_back((quotes_[i].last - quotes_[i].open) / quotes_[i].open, codes_[i]);
        }
    }
    std::sort(movers.begin(), movers.end(), std::greater<>());
    json ranking = json::array();
    for (std::size_t i = 0; i < movers.size() && i < 20; ++i) {
        ranking.push_back({{"rank", i + 1},
                           {"symbol", movers[i].second},
                           {"changePct", rounded(movers[i].first * 100.0)}});
    }
    return json{{"top20", ranking}}.dump();
}

std::string MarketUniverse::everyInstrument(std::string (MarketUniverse::*one)(const std::string&)
                                                const) const {
    json all = json::array();
    for (const auto& code : codes_) {
        all.push_back(json::parse((this->*one)(code)));
    }
    return all.dump();
}

std::string MarketUniverse::fundamental(const std::string& code) const {
    std::size_t const index = indexOf(code);
    if (index == codes_.size()) {
        return "{}";
    }
    return json{{"Symbol", code},
                {"year", 2026},
                {"eps", rounded(seededValue(index, 2, -1.0, 12.0))},
                {"pe", rounded(seededValue(index, 3, 4.0, 40.0))},
                {"dividendYield", rounded(seededValue(index, 4, 0.0, 8.0))},
                {"marketCap", std::llround(seededValue(index, 5, 1e8, 5e11))}}
        .dump();
}

std::string MarketUniverse::fundamentalsAll() const {
    return everyInstrument(&MarketUniverse::fundamental);
}

std::string MarketUniverse::iaa(const std::string& code) const {
    std::size_t const index = indexOf(code);
    if (index == codes_.size()) {
        return "{}";
    }
    return json{{"symbol", code},
                {"analysts", static_cast<int>(seededValue(index, 6, 1.0, 25.0))},
                {"targetPrice", rounded(seededValue(index, 7, 5.0, 600.0))},
                {"consensus", seededValue(index, 8, 0.0, 1.0) > 0.5 ? "buy" : "hold"}}
        .dump();
}

std::string MarketUniverse::iaaAll() const {
    return everyInstrument(&MarketUniverse::iaa);
}

std::string MarketUniverse::volume(const std::string& code) const {
    std::size_t const index = indexOf(code);
    if (index == codes_.size()) {
        return "{}";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return json{{"Symbol", code},
                {"volume", quotes_[index].volume},
                {"avgVolume20d", std::llround(seededValue(index, 9, 1e4, 1e7))}}
        .dump();
}

std::string MarketUniverse::volumesAll() const {
    json all = json::object();
    for (const auto& code : codes_) {
        all[code] = json::parse(volume(code));
    }
    return all.dump();
}

std::string MarketUniverse::keyStatistics() const {
    double advancing = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& quote : quotes_) {
            advancing += quote.last > quote.open;
        }
    }
    return json{{"instruments", codes_.size()},
                {"advancing", advancing},
                {"declining", static_cast<double>(codes_.size()) - advancing}}
        .dump();
}

}  // namespace corvo::sim
