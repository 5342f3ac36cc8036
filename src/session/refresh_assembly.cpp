#include "session/refresh_assembly.h"

#include <cstring>

namespace corvo::session {
namespace {

bool holdsZeroByte(const std::string& text) {
    return std::memchr(text.data(), '\0', text.size()) != nullptr;
}

}  // namespace

RefreshResult assembleRefresh(const std::vector<std::string>& topics, const RecordMap& records,
                              RefreshFamily family, std::vector<std::string>& deferred) {
    static const std::string kNoRecord;
    RefreshResult result;
    result.taken = true;
    result.text.reserve(kRefreshLimit);
    result.text.push_back('{');
    for (const auto& topic : topics) {
        auto const found = records.find(topic);
        const std::string& record = found == records.end() ? kNoRecord : found->second;
        if (holdsZeroByte(record)) {
            continue;
        }
        if (family == RefreshFamily::ea && topic.find("_Corvo") == std::string::npos) {
            continue;
        }
        // "{" + record + "," must stay below the limit even when the record is served alone.
        if (record.size() + 2 >= kRefreshLimit) {
            ++result.dropped;
            continue;
        }
        if (result.text.size() + record.size() + 1 < kRefreshLimit) {
            result.text.append(record);
            result.text.push_back(',');
        } else {
            deferred.push_back(topic);
        }
    }
    result.appended = result.text.size() >= 2;
    if (result.text.size() > 1) {
        result.text.pop_back();
    }
    result.text.push_back('}');
    return result;
}

}  // namespace corvo::session
