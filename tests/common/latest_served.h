// Collects what refreshes served from several host threads: the highest index seen per topic,
// so a test can check that each topic's last published record reached a host.
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace corvo::testing {

class LatestServed {
  public:
    // `refresh` is a served "{...}" text; a record's index is its payload number or its "i".
    void add(const std::string& refresh) {
        auto const served = nlohmann::json::parse(refresh);
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto const& [topic, payload] : served.items()) {
            auto const index = payload.is_object() ? payload.at("i").get<std::int64_t>()
                                                   : payload.get<std::int64_t>();
            auto const known = latest_.find(topic);
            latest_[topic] = known == latest_.end() ? index : std::max(known->second, index);
        }
    }

    // Index of the last record served for `topic`, or -1.
    std::int64_t of(const std::string& topic) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto const found = latest_.find(topic);
        return found == latest_.end() ? -1 : found->second;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::int64_t> latest_;
};

}  // namespace corvo::testing
