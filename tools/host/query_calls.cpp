#include "query_calls.h"

#include <map>

#include "c_calls.h"
#include "export_call.h"

namespace corvo::host {

template <class Export>
std::string QueryCalls::byCode(const char* exportName, Export query, const std::string& code) {
    auto const wide = widen(code);
    return wideAnswer(exportName, buffer_,
                      [&](corvo_char16* out) { return query(wide.c_str(), out); });
}

template <class Export>
std::string QueryCalls::plain(const char* exportName, Export query) {
    return wideAnswer(exportName, buffer_, [&](corvo_char16* out) { return query(out); });
}

std::string QueryCalls::fundamental(const std::string& code) {
    if (family_ == Family::cs) {
        return narrowAnswer("cs_Fundamental", [&](std::string* out) {
            return exports_.cs_Fundamental(code.c_str(), out);
        });
    }
    return byCode("ea_Fundamental", exports_.ea_Fundamental, code);
}

std::string QueryCalls::fundamentalAll() {
    if (family_ == Family::cs) {
        return narrowAnswer("cs_FundamentalAllLastYear", [&](std::string* out) {
            return exports_.cs_FundamentalAllLastYear(out);
        });
    }
    return plain("ea_FundamentalAllLastYear", exports_.ea_FundamentalAllLastYear);
}

std::optional<std::string> QueryCalls::runC(const std::string& name, const std::string& argument) {
    static const std::map<std::string, corvo_query_kind> kKinds = {
        {"fundamental", CORVO_QUERY_FUNDAMENTAL},
        {"fundamental-all", CORVO_QUERY_FUNDAMENTAL_ALL_LAST_YEAR},
        {"iaa", CORVO_QUERY_IAA},
        {"iaa-all", CORVO_QUERY_IAA_ALL_SYMBOLS},
        {"key-stats", CORVO_QUERY_KEY_MARKET_STATISTICS},
        {"volume", CORVO_QUERY_VOLUME}};
    if (name == "feedback") {
        check(exports_, "corvo_feedback",
              exports_.corvo_feedback(login_, 0, 0, 0, argument.c_str()));
        return std::nullopt;
    }
    auto const kind = kKinds.find(name);
    if (kind == kKinds.end()) {
        throw HostError("unknown query " + name);
    }
    return handedOut(exports_, "corvo_query", [&](char** reply, std::size_t* length) {
        return exports_.corvo_query(kind->second, argument.c_str(), reply, length);
    });
}

std::optional<std::string> QueryCalls::run(const std::string& name, const std::string& argument) {
    if (family_ == Family::c) {
        return runC(name, argument);
    }
    if (name == "fundamental") {
        return fundamental(argument);
    }
    if (name == "fundamental-all") {
        return fundamentalAll();
    }
    if (name == "iaa") {
        return byCode("ea_IAA", exports_.ea_IAA, argument);
    }
    if (name == "iaa-all") {
        return plain("ea_IAAAllSymbols", exports_.ea_IAAAllSymbols);
    }
    if (name == "key-stats") {
        return plain("ea_KeyMarketStatisticsPerformance",
                     exports_.ea_KeyMarketStatisticsPerformance);
    }
    if (name == "volume") {
        return byCode("ea_Volume", exports_.ea_Volume, argument);
    }
    if (name == "feedback") {
        require("ea_Feedback", exports_.ea_Feedback(login_, 0, 0, 0, widen(argument).c_str()));
        return std::nullopt;
    }
    throw HostError("unknown query " + name);
}

}  // namespace corvo::host
