// Instrument subscriptions: filters on the stream socket (carried out by the subscriber thread)
// and the snapshot of each instrument, under the subscription gate from start to end.
#include <algorithm>

#include "session/processor.h"
#include "session/text_fields.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {

// Drops the reply's outer braces; an empty reply has no members to give.
void appendMembers(std::string& out, const std::string& reply) {
    if (reply.empty()) {
        return;
    }
    if (reply.size() > 2) {
        out.append(reply, 1, reply.size() - 2);
    }
    out.push_back(',');
}

}  // namespace

bool Processor::addSymbol(std::string symbols, std::string& out, bool ea) {
    trace::text("addSymbol ", symbols);
    Gate::Section section(subscriptionGate_);
    if (symbols.empty()) {
        trace::text("Adding all Symbol ");
        if (!commands_.change(StreamCommands::Kind::subscribe, "")) {
            return false;
        }
        subscribedSymbols.clear();
        health_.subscriptions.store(0, std::memory_order_relaxed);
        trace::text("Subscribed all symbol");
        return true;
    }
    std::string members;
    for (const auto& code : splitFields(withoutWhiteSpace(symbols), ',')) {
        auto const known = std::find(subscribedSymbols.begin(), subscribedSymbols.end(), code);
        if (known == subscribedSymbols.end()) {
            if (!commands_.change(StreamCommands::Kind::subscribe, code + "_")) {
                return false;
            }
            subscribedSymbols.push_back(code);
            health_.subscriptions.store(subscribedSymbols.size(), std::memory_order_relaxed);
        }
        std::string reply;
        getSymbolDatas(code, reply, ea);
        appendMembers(members, reply);
    }
    if (!members.empty()) {
        members.pop_back();
    }
    out = "{" + members + "}";
    trace::text("Subscribed ", symbols);
    return true;
}

bool Processor::removeSymbol(std::string symbol) {
    Gate::Section section(subscriptionGate_);
    if (symbol.empty()) {
        trace::text("Removing all Symbol ");
        if (!commands_.change(StreamCommands::Kind::unsubscribe, "")) {
            return false;
        }
        subscribedSymbols.clear();
        health_.subscriptions.store(0, std::memory_order_relaxed);
        trace::text("Unsubscribed all symbol");
        return true;
    }
    trace::text("Removing Symbol ", symbol);
    if (std::find(subscribedSymbols.begin(), subscribedSymbols.end(), symbol) ==
        subscribedSymbols.end()) {
        trace::text("Can't unbscribed ", symbol);
        return false;
    }
    if (!commands_.change(StreamCommands::Kind::unsubscribe, symbol + "_")) {
        return false;
    }
    subscribedSymbols.erase(std::remove(subscribedSymbols.begin(), subscribedSymbols.end(), symbol),
                            subscribedSymbols.end());
    health_.subscriptions.store(subscribedSymbols.size(), std::memory_order_relaxed);
    trace::text("Unsubscribed ", symbol);
    return true;
}

}  // namespace corvo::session
