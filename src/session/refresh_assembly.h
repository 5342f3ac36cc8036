// Builds a refresh result from the taken topics: "{" + record + "," + ... + "}" below the size
// bound, deferring what does not fit. Pure: the caller holds the store gate.
#pragma once

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace corvo::session {

using RecordMap = std::map<std::string, std::string, std::less<>>;

enum class RefreshFamily { cs, ea };

struct RefreshResult {
    bool taken = false;       // there were topics to serve
    bool appended = false;    // at least one record went into the text
    std::string text;         // "{...}"
    std::size_t dropped = 0;  // records that could never fit, dropped from the queue
};

// The result stays below this many bytes before its closing brace.
inline constexpr std::size_t kRefreshLimit = 10000;

// Serves `topics` in order: records holding a zero byte are skipped, and so are topics
// without "_Corvo" for the ea family; records that do not fit go to `deferred`, except those
// that could never fit, which are dropped so they cannot block the queue.
RefreshResult assembleRefresh(const std::vector<std::string>& topics, const RecordMap& records,
                              RefreshFamily family, std::vector<std::string>& deferred);

// The same over any list of topics (each convertible to std::string_view) and any record
// lookup: `find(topic)` answers the topic's record or null. Topics handed over as an rvalue are
// moved, not copied, into `deferred`. The store runs this under its gate, so the work per topic
// is kept to one lookup.
template <class Topics, class FindRecord, class Topic>
RefreshResult assembleRefreshFrom(Topics&& topics, FindRecord&& find, RefreshFamily family,
                                  std::vector<Topic>& deferred) {
    static const std::string kNoRecord;
    RefreshResult result;
    result.taken = true;
    result.text.reserve(kRefreshLimit);
    result.text.push_back('{');
    for (auto& topic : topics) {
        const std::string* const found = find(topic);
        const std::string& record = found == nullptr ? kNoRecord : *found;
        if (std::memchr(record.data(), '\0', record.size()) != nullptr) {
            continue;
        }
        if (family == RefreshFamily::ea &&
            std::string_view(topic).find("_Corvo") == std::string_view::npos) {
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
        } else if constexpr (std::is_rvalue_reference_v<Topics&&>) {
            deferred.push_back(std::move(topic));
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
