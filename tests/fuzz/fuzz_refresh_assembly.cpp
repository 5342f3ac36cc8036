// Fuzz target: refresh assembly over arbitrary topics and records. The result must stay below
// the limit, start and end with braces, and every topic is served, deferred or skipped once.
#include <cstdint>
#include <string>

#include "session/refresh_assembly.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvo::session;
    RecordMap records;
    std::vector<std::string> topics;
    std::size_t at = 0;
    // Each entry: one length byte (scaled) for the record, one for the topic, then the bytes.
    while (at + 2 <= size) {
        std::size_t const recordSize = static_cast<std::size_t>(data[at]) * 53;
        std::size_t const topicSize = data[at + 1] % 16;
        at += 2;
        std::string topic(reinterpret_cast<const char*>(data + at), std::min(topicSize, size - at));
        at += topic.size();
        if (data[at % size] % 3 != 0) {
            topic += "_Corvo";
        }
        std::string record = "\"" + topic + "\":";
        record.append(recordSize, static_cast<char>(data[at % size]));
        records[topic] = record;
        topics.push_back(topic);
    }
    for (auto const family : {RefreshFamily::cs, RefreshFamily::ea}) {
        std::vector<std::string> deferred;
        auto const result = assembleRefresh(topics, records, family, deferred);
        if (result.text.size() > kRefreshLimit || result.text.front() != '{' ||
            result.text.back() != '}' || deferred.size() > topics.size()) {
            __builtin_trap();
        }
    }
    return 0;
}
