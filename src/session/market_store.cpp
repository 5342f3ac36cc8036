// The market-data store side of Processor: filing by the subscriber thread, reads by the
// refresh and Top20 exports. Everything here runs inside the store gate, one message or one
// list take per section, and copies out what the caller needs.
#include "session/processor.h"

#include <utility>

namespace corvo::session {

void Processor::fileRecord(std::string_view topic, std::string& record) {
    Gate::Section section(storeGate_);
    auto slot = topicIndex_.find(topic);
    if (slot == topicIndex_.end()) {
        auto const node = records.try_emplace(std::string(topic)).first;
        slot = topicIndex_.emplace(node->first, TopicSlot{&node->second, false}).first;
    }
    // The caller reuses the old record's storage for its next message.
    slot->second.record->swap(record);
    if (!slot->second.updated) {
        slot->second.updated = true;
        updatedTopics.emplace_back(slot->first);
    }
}

std::vector<std::string> Processor::takeUpdatedTopics() {
    for (const auto& topic : updatedTopics) {
        auto const slot = topicIndex_.find(topic);
        if (slot != topicIndex_.end()) {
            slot->second.updated = false;
        }
    }
    return std::exchange(updatedTopics, {});
}

void Processor::storeTop20(std::string_view text) {
    Gate::Section section(storeGate_);
    top20Text.assign(text);
    ++top20Streamed_;
}

std::uint64_t Processor::top20StreamCount() {
    Gate::Section section(storeGate_);
    return top20Streamed_;
}

void Processor::storeTop20Snapshot(std::string_view text, std::uint64_t streamCountBefore) {
    Gate::Section section(storeGate_);
    // A ranking streamed while the snapshot was on its way is newer than the snapshot.
    if (top20Streamed_ == streamCountBefore) {
        top20Text.assign(text);
    }
}

RefreshResult Processor::takeRefresh(RefreshFamily family) {
    Gate::Section section(storeGate_);
    std::vector<std::string> topics;
    if (!deferredTopics.empty()) {
        topics.swap(deferredTopics);
    } else if (!updatedTopics.empty()) {
        topics = takeUpdatedTopics();
    } else {
        return {};
    }
    return assembleRefresh(topics, records, family, deferredTopics);
}

std::string Processor::takeSymbolRecord(const std::string& topic) {
    Gate::Section section(storeGate_);
    takeUpdatedTopics();
    auto const found = records.find(topic);
    return found == records.end() ? std::string() : found->second;
}

std::string Processor::top20() {
    Gate::Section section(storeGate_);
    return top20Text;
}

std::vector<std::string> Processor::pendingTopics() {
    Gate::Section section(storeGate_);
    return updatedTopics;
}

std::string Processor::recordOf(const std::string& topic) {
    Gate::Section section(storeGate_);
    auto const found = records.find(topic);
    return found == records.end() ? std::string() : found->second;
}

}  // namespace corvo::session
