#include "session/refresh_assembly.h"

namespace corvo::session {

RefreshResult assembleRefresh(const std::vector<std::string>& topics, const RecordMap& records,
                              RefreshFamily family, std::vector<std::string>& deferred) {
    return assembleRefreshFrom(
        topics,
        [&](const std::string& topic) -> const std::string* {
            auto const found = records.find(topic);
            return found == records.end() ? nullptr : &found->second;
        },
        family, deferred);
}

}  // namespace corvo::session
