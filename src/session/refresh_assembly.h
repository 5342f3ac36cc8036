// Builds a refresh result from the taken topics: "{" + record + "," + ... + "}" below the size
// bound, deferring what does not fit. Pure: the caller holds the store gate.
#pragma once

#include <cstddef>
#include <map>
#include <string>
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

}  // namespace corvo::session
