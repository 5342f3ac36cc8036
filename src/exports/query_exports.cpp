// Query exports: one endpoint call per export, its reply handed back as text.
#include "exports/conventions.h"

namespace {

using corvo::exports::narrow;
using corvo::exports::tracingFailures;
using corvo::exports::whileRunning;
using corvo::exports::widenInto;
using corvo::session::Processor;
namespace trace = corvo::trace;

// How the ea_ data exports differ: with or without an instrument, with or without "FK: ".
enum class Shape { withSymbol, allSymbols };

// What the legacy families hand over: the reply whatever its status, "0" after a failed
// exchange.
std::string legacyReply(corvo::api::PostOutcome reply) {
    using corvo::api::ErrorStatus;
    return corvo::api::legacyText(corvo::api::replyBody(std::move(reply), ErrorStatus::asReply));
}

// The ea_ data family: the reply widened into `out`, true unless an exception was raised on
// the way.
template <class Call>
bool eaDataQuery(const char* name, Shape shape, const corvo_char16* symbol, corvo_char16* out,
                 Call call) {
    return whileRunning(false, [&](Processor& processor) {
        trace::text(name);
        if (out == nullptr || (shape == Shape::withSymbol && symbol == nullptr)) {
            return false;
        }
        return tracingFailures("Error exception:", [&] {
            std::string const code = shape == Shape::withSymbol ? narrow(symbol) : std::string();
            std::string const text = legacyReply(call(processor, code));
            if (shape == Shape::allSymbols) {
                trace::text("FK: ", text.size());
            }
            widenInto(text, out);
            trace::text(name, " Output: ", text);
            return true;
        });
    });
}

// The cs_ family: the reply assigned, true unless an exception was raised on the way.
template <class Call>
bool csDataQuery(const char* symbol, bool needsSymbol, std::string* out, Call call) {
    return whileRunning(false, [&](Processor& processor) {
        if (out == nullptr || (needsSymbol && symbol == nullptr)) {
            return false;
        }
        return tracingFailures("Error exception:", [&] {
            std::string const code = needsSymbol ? std::string(symbol) : std::string();
            std::string text = legacyReply(call(processor, code));
            trace::text("Output:", text);
            *out = std::move(text);
            return true;
        });
    });
}

}  // namespace

CORVO_API bool ea_Fundamental(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery(
        "ea_Fundamental", Shape::withSymbol, symbol, out,
        [](Processor& p, const std::string& code) { return p.getFundaSingleSym(code); });
}

CORVO_API bool ea_FundamentalAllLastYear(corvo_char16* out) {
    return eaDataQuery("ea_FundamentalAllLastYear", Shape::allSymbols, nullptr, out,
                       [](Processor& p, const std::string&) { return p.getFundaAllSym(); });
}

CORVO_API bool ea_IAA(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery("ea_IAA", Shape::withSymbol, symbol, out,
                       [](Processor& p, const std::string& code) { return p.getIAA(code); });
}

CORVO_API bool ea_IAAAllSymbols(corvo_char16* out) {
    return eaDataQuery("ea_IAAAllSymbols", Shape::allSymbols, nullptr, out,
                       [](Processor& p, const std::string&) { return p.getIAAAllSymbols(); });
}

CORVO_API bool ea_KeyMarketStatisticsPerformance(corvo_char16* out) {
    return eaDataQuery(
        "ea_KeyMarketStatisticsPerformance", Shape::allSymbols, nullptr, out,
        [](Processor& p, const std::string&) { return p.getKeyMarketStatisticsPerformance(); });
}

CORVO_API bool ea_Volume(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery("ea_Volume", Shape::withSymbol, symbol, out,
                       [](Processor& p, const std::string& code) { return p.getVolume(code); });
}

CORVO_API bool ea_Feedback(std::int32_t account, std::int32_t second, std::int32_t third,
                           std::int32_t fourth, const corvo_char16* message) {
    return whileRunning(false, [&](Processor& processor) {
        trace::text("ea_Feedback");
        if (message == nullptr) {
            return false;
        }
        auto const answer = corvo::api::replyNumber(
            processor.feedback(account, second, third, fourth, narrow(message)),
            corvo::api::ErrorStatus::asReply);
        return answer && answer.value() != 0;
    });
}

CORVO_API bool cs_Fundamental(const char* symbol, std::string* out) {
    return csDataQuery(symbol, true, out, [](Processor& p, const std::string& code) {
        return p.getFundaSingleSym(code);
    });
}

CORVO_API bool cs_FundamentalAllLastYear(std::string* out) {
    return csDataQuery(nullptr, false, out,
                       [](Processor& p, const std::string&) { return p.getFundaAllSym(); });
}
