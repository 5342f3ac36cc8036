// Instrument subscriptions: filters on the stream socket (carried out by the subscriber thread)
// and the snapshot of each instrument. The subscription gate guards the filters and the lists
// only; snapshots are fetched outside it, so nothing waits on the network behind the gate.
#include <nlohmann/json.hpp>

#include <algorithm>

#include "api/reply_reading.h"
#include "session/processor.h"
#include "session/text_fields.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {

constexpr char kWhiteSpace[] = " \t\n\v\f\r";

// The members of a snapshot reply without its braces, or nothing when the reply is not a
// JSON object with members: an unknown code's empty reply, "0", an error text.
std::optional<std::string_view> snapshotMembers(std::string_view reply) {
    std::size_t const first = reply.find_first_not_of(kWhiteSpace);
    std::size_t const last = reply.find_last_not_of(kWhiteSpace);
    if (first == std::string_view::npos || reply[first] != '{' || reply[last] != '}') {
        return std::nullopt;
    }
    std::string_view const object = reply.substr(first, last - first + 1);
    if (!nlohmann::json::accept(object)) {
        return std::nullopt;
    }
    std::string_view members = object.substr(1, object.size() - 2);
    if (members.find_first_not_of(kWhiteSpace) == std::string_view::npos) {
        return std::nullopt;
    }
    return members;
}

bool contains(const std::vector<std::string>& list, const std::string& code) {
    return std::find(list.begin(), list.end(), code) != list.end();
}

void erase(std::vector<std::string>& list, const std::string& code) {
    list.erase(std::remove(list.begin(), list.end(), code), list.end());
}

}  // namespace

void Processor::updateSubscriptionCount() {
    health_.subscriptions.store(subscribedSymbols.size() - withoutSnapshot_.size(),
                                std::memory_order_relaxed);
}

Subscription Processor::addSymbol(std::string symbols, bool ea, api::ErrorStatus errorStatus) {
    trace::text("addSymbol ", symbols);
    Subscription outcome;
    if (symbols.empty()) {
        trace::text("Adding all Symbol ");
        Gate::Section section(subscriptionGate_);
        if (!commands_.change(StreamCommands::Kind::subscribe, "")) {
            outcome.filtered = false;
            return outcome;
        }
        subscribedSymbols.clear();
        withoutSnapshot_.clear();
        updateSubscriptionCount();
        trace::text("Subscribed all symbol");
        return outcome;
    }
    std::string members;
    for (const auto& code : splitFields(withoutWhiteSpace(symbols), ',')) {
        // A stop ends the subscription between instruments; without a session nothing starts.
        if (!monitorRunning_) {
            outcome.stopped = true;
            break;
        }
        {
            Gate::Section section(subscriptionGate_);
            if (!contains(subscribedSymbols, code)) {
                if (!commands_.change(StreamCommands::Kind::subscribe, code + "_")) {
                    outcome.filtered = false;
                    return outcome;
                }
                subscribedSymbols.push_back(code);
                withoutSnapshot_.push_back(code);
                updateSubscriptionCount();
            }
        }
        auto reply = api::replyBody(getSymbolDatas(code, ea), errorStatus);
        auto const found = reply ? snapshotMembers(reply.value()) : std::nullopt;
        if (!reply && !outcome.failure) {
            outcome.failure = reply.failure();
        }
        if (found) {
            members.append(members.empty() ? "" : ",").append(*found);
        } else {
            outcome.missing.push_back(code);
        }
        Gate::Section section(subscriptionGate_);
        if (found && contains(subscribedSymbols, code)) {
            erase(withoutSnapshot_, code);
            updateSubscriptionCount();
        }
    }
    outcome.snapshot = "{" + members + "}";
    trace::text(outcome.stopped ? "Subscription stopped " : "Subscribed ", symbols);
    return outcome;
}

bool Processor::removeSymbol(std::string symbol) {
    Gate::Section section(subscriptionGate_);
    if (symbol.empty()) {
        trace::text("Removing all Symbol ");
        if (!commands_.change(StreamCommands::Kind::unsubscribe, "")) {
            return false;
        }
        subscribedSymbols.clear();
        withoutSnapshot_.clear();
        updateSubscriptionCount();
        trace::text("Unsubscribed all symbol");
        return true;
    }
    trace::text("Removing Symbol ", symbol);
    if (!contains(subscribedSymbols, symbol)) {
        trace::text("Can't unbscribed ", symbol);
        return false;
    }
    if (!commands_.change(StreamCommands::Kind::unsubscribe, symbol + "_")) {
        return false;
    }
    erase(subscribedSymbols, symbol);
    erase(withoutSnapshot_, symbol);
    updateSubscriptionCount();
    trace::text("Unsubscribed ", symbol);
    return true;
}

}  // namespace corvo::session
