// The market-data store side of Processor: filing by the subscriber thread, reads by the
// refresh and Top20 exports. Everything here runs inside the store gate, one message or one
// list take per section, and copies out what the caller needs.
#include "session/processor.h"

#include <utility>

namespace corvo::session {

bool Processor::fileRecord(std::string_view topic, std::string& record) {
    Gate::Section section(storeGate_);
    auto slot = topicIndex_.find(topic);
    if (slot == topicIndex_.end()) {
        auto const node = records.try_emplace(std::string(topic)).first;
        slot = topicIndex_.emplace(node->first, TopicSlot{&node->second, false}).first;
    }
    // The caller reuses the old record's storage for its next message. The message brought
    // the topic and the payload, without the record's quotes and colon.
    std::size_t const bytes = record.size() - 3;
    slot->second.record->swap(record);
    if (!slot->second.updated) {
        slot->second.updated = true;
        updatedTopics.push_back({slot->first, &slot->second});
        countTopics();
    }
    health_.countMessage(bytes);
    return !updatesSignalled_;
}

void Processor::announceFiled() {
    Gate::Section section(storeGate_);
    updateTopicCounts();
}

void Processor::stampMessageArrival() {
    health_.lastMessageMs.store(StreamHealth::nowMs(), std::memory_order_relaxed);
}

std::size_t Processor::countTopics() {
    std::size_t const pending = updatedTopics.size() + deferredTopics.size();
    health_.topics.store(records.size(), std::memory_order_relaxed);
    health_.pending.store(pending, std::memory_order_relaxed);
    return pending;
}

void Processor::updateTopicCounts() {
    std::size_t const pending = countTopics();
    // Only the changes between nothing and something pending reach the signal's lock.
    if ((pending != 0) != updatesSignalled_) {
        updatesSignalled_ = pending != 0;
        if (updatesSignalled_) {
            updates_.raise();
        } else {
            updates_.lower();
        }
    }
}

UpdateSignal::Wake Processor::waitForUpdates(std::optional<std::chrono::milliseconds> timeout) {
    return updates_.wait(timeout, [this] { return !running_; });
}

auto Processor::takeUpdatedTopics() -> std::vector<PendingTopic> {
    for (const auto& pending : updatedTopics) {
        pending.slot->updated = false;
    }
    return std::exchange(updatedTopics, {});
}

void Processor::storeTop20(std::string_view text, std::size_t messageBytes) {
    Gate::Section section(storeGate_);
    top20Text.assign(text);
    ++top20Streamed_;
    health_.countMessage(messageBytes);
    health_.top20Ms.store(StreamHealth::nowMs(), std::memory_order_relaxed);
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
        health_.top20Ms.store(StreamHealth::nowMs(), std::memory_order_relaxed);
    }
}

RefreshResult Processor::takeRefresh(RefreshFamily family) {
    Gate::Section section(storeGate_);
    return takeRefreshInGate(family);
}

RefreshResult Processor::takeRefreshInGate(RefreshFamily family) {
    std::vector<PendingTopic> topics;
    if (!deferredTopics.empty()) {
        topics.swap(deferredTopics);
    } else if (!updatedTopics.empty()) {
        topics = takeUpdatedTopics();
    } else {
        return {};
    }
    auto result = assembleRefreshFrom(std::move(topics), recordOfPending, family, deferredTopics);
    health_.dropped.fetch_add(result.dropped, std::memory_order_relaxed);
    updateTopicCounts();
    return result;
}

Processor::SizedRefresh Processor::takeRefreshWithin(std::size_t capacity) {
    Gate::Section section(storeGate_);
    // Every result fits this much room, so the queues are taken and moved as they are served,
    // not copied beside them in case the text does not fit.
    if (capacity > kRefreshLimit) {
        return {takeRefreshInGate(RefreshFamily::cs), true};
    }
    bool const fromDeferred = !deferredTopics.empty();
    const auto& topics = fromDeferred ? deferredTopics : updatedTopics;
    if (topics.empty()) {
        return {};
    }
    // Assembled beside the queues, which change only once the text is known to fit.
    std::vector<PendingTopic> stillDeferred;
    SizedRefresh sized{
        assembleRefreshFrom(topics, recordOfPending, RefreshFamily::cs, stillDeferred), true};
    if (sized.result.text.size() + 1 > capacity) {
        sized.fits = false;
        return sized;
    }
    if (!fromDeferred) {
        takeUpdatedTopics();
    }
    deferredTopics = std::move(stillDeferred);
    health_.dropped.fetch_add(sized.result.dropped, std::memory_order_relaxed);
    updateTopicCounts();
    return sized;
}

std::string Processor::takeSymbolRecord(const std::string& topic) {
    Gate::Section section(storeGate_);
    takeUpdatedTopics();
    updateTopicCounts();
    auto const found = records.find(topic);
    return found == records.end() ? std::string() : found->second;
}

std::string Processor::top20() {
    Gate::Section section(storeGate_);
    return top20Text;
}

std::vector<std::string> Processor::pendingTopics() {
    Gate::Section section(storeGate_);
    std::vector<std::string> topics;
    topics.reserve(updatedTopics.size());
    for (const auto& pending : updatedTopics) {
        topics.emplace_back(pending.topic);
    }
    return topics;
}

std::string Processor::recordOf(const std::string& topic) {
    Gate::Section section(storeGate_);
    auto const found = records.find(topic);
    return found == records.end() ? std::string() : found->second;
}

}  // namespace corvo::session
