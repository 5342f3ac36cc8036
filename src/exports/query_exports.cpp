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

// The ea_ data family: the reply widened into `out` ("0" after a failed exchange, nothing
// when the call itself failed), true unless an exception was raised on the way.
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
            std::string text;
            call(processor, code, text);
            if (shape == Shape::allSymbols) {
                trace::text("FK: ", text.size());
            }
            widenInto(text, out);
            trace::text(name, " Output: ", text);
            return true;
        });
    });
}

// The cs_ family: the text assigned whatever happened, true when the call succeeded.
template <class Call>
bool csDataQuery(const char* symbol, bool needsSymbol, std::string* out, Call call) {
    return whileRunning(false, [&](Processor& processor) {
        if (out == nullptr || (needsSymbol && symbol == nullptr)) {
            return false;
        }
        return tracingFailures("Error exception:", [&] {
            std::string const code = needsSymbol ? std::string(symbol) : std::string();
            std::string text;
            std::int32_t const result = call(processor, code, text);
            trace::text("Output:", text);
            *out = std::move(text);
            return result != 0;
        });
    });
}

}  // namespace

CORVO_API bool ea_Fundamental(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery("ea_Fundamental", Shape::withSymbol, symbol, out,
                       [](Processor& p, const std::string& code, std::string& text) {
                           return p.getFundaSingleSym(code, text);
                       });
}

CORVO_API bool ea_FundamentalAllLastYear(corvo_char16* out) {
    return eaDataQuery(
        "ea_FundamentalAllLastYear", Shape::allSymbols, nullptr, out,
        [](Processor& p, const std::string&, std::string& text) { return p.getFundaAllSym(text); });
}

CORVO_API bool ea_IAA(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery("ea_IAA", Shape::withSymbol, symbol, out,
                       [](Processor& p, const std::string& code, std::string& text) {
                           return p.getIAA(code, text);
                       });
}

CORVO_API bool ea_IAAAllSymbols(corvo_char16* out) {
    return eaDataQuery("ea_IAAAllSymbols", Shape::allSymbols, nullptr, out,
                       [](Processor& p, const std::string&, std::string& text) {
                           return p.getIAAAllSymbols(text);
                       });
}

CORVO_API bool ea_KeyMarketStatisticsPerformance(corvo_char16* out) {
    return eaDataQuery("ea_KeyMarketStatisticsPerformance", Shape::allSymbols, nullptr, out,
                       [](Processor& p, const std::string&, std::string& text) {
                           return p.getKeyMarketStatisticsPerformance(text);
                       });
}

CORVO_API bool ea_Volume(const corvo_char16* symbol, corvo_char16* out) {
    return eaDataQuery("ea_Volume", Shape::withSymbol, symbol, out,
                       [](Processor& p, const std::string& code, std::string& text) {
                           return p.getVolume(code, text);
                       });
}

CORVO_API bool ea_Feedback(std::int32_t account, std::int32_t second, std::int32_t third,
                           std::int32_t fourth, const corvo_char16* message) {
    return whileRunning(false, [&](Processor& processor) {
        trace::text("ea_Feedback");
        if (message == nullptr) {
            return false;
        }
        return processor.feedback(account, second, third, fourth, narrow(message)) != 0;
    });
}

CORVO_API bool cs_Fundamental(const char* symbol, std::string* out) {
    return csDataQuery(symbol, true, out,
                       [](Processor& p, const std::string& code, std::string& text) {
                           return p.getFundaSingleSym(code, text);
                       });
}

CORVO_API bool cs_FundamentalAllLastYear(std::string* out) {
    return csDataQuery(
        nullptr, false, out,
        [](Processor& p, const std::string&, std::string& text) { return p.getFundaAllSym(text); });
}
