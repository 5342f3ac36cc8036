// The C interface: subscriptions, refreshes, records, Top20, queries, feedback and files. Sized
// results go into the caller's buffer; results of unknown size are handed out (corvo_free).
#include "exports/c_conventions.h"
#include "exports/file_export_runs.h"

namespace {

using corvo::api::ErrorStatus;
using corvo::api::replyBody;
using corvo::api::replyNumber;
using corvo::exports::cCall;
using corvo::exports::cCallRunning;
using corvo::exports::handOut;
using corvo::exports::handOutOrReport;
using corvo::exports::reportFailure;
using corvo::session::Processor;
using corvo::session::UpdateSignal;
namespace failure = corvo::failure;

// One query's reply; nothing for an unknown kind or a missing symbol.
std::optional<corvo::api::PostOutcome> fetchQuery(Processor& session, corvo_query_kind kind,
                                                  const char* symbol) {
    bool const needsSymbol =
        kind == CORVO_QUERY_FUNDAMENTAL || kind == CORVO_QUERY_IAA || kind == CORVO_QUERY_VOLUME;
    if (needsSymbol && symbol == nullptr) {
        return std::nullopt;
    }
    std::string const code = needsSymbol ? symbol : "";
    switch (kind) {
        case CORVO_QUERY_FUNDAMENTAL:
            return session.getFundaSingleSym(code);
        case CORVO_QUERY_FUNDAMENTAL_ALL_LAST_YEAR:
            return session.getFundaAllSym();
        case CORVO_QUERY_IAA:
            return session.getIAA(code);
        case CORVO_QUERY_IAA_ALL_SYMBOLS:
            return session.getIAAAllSymbols();
        case CORVO_QUERY_KEY_MARKET_STATISTICS:
            return session.getKeyMarketStatisticsPerformance();
        case CORVO_QUERY_VOLUME:
            return session.getVolume(code);
        default:
            return std::nullopt;
    }
}

// A list of codes for a reason, cut short when long.
std::string namesOf(const std::vector<std::string>& codes) {
    std::string names;
    for (const auto& code : codes) {
        if (names.size() > 200) {
            return names + ", ...";
        }
        names.append(names.empty() ? "" : ", ").append(corvo::api::excerpt(code, 32));
    }
    return names;
}

}  // namespace

CORVO_C_API corvo_result corvo_subscribe(const char* symbols, char** snapshot, size_t* length) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (symbols == nullptr || snapshot == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        auto const subscription = session.addSymbol(symbols, false, ErrorStatus::asFailure);
        if (subscription.stopped) {
            failure::note("the session stopped before \"" + corvo::api::excerpt(symbols) +
                          "\" was subscribed");
            return CORVO_NOT_RUNNING;
        }
        if (!subscription.filtered) {
            failure::note("the stream refused the filter for \"" + corvo::api::excerpt(symbols) +
                          "\"");
            return CORVO_REFUSED;
        }
        // The filters stay in force for instruments without a snapshot; a retry only fetches
        // the snapshots again. Some members are an answer; none is a failure.
        bool const noneArrived = subscription.snapshot == "{}" && !subscription.missing.empty();
        if (noneArrived) {
            if (subscription.failure) {
                return reportFailure(*subscription.failure);
            }
            failure::note("no snapshot arrived for " + namesOf(subscription.missing));
            return CORVO_NOT_FOUND;
        }
        return handOut(subscription.snapshot, snapshot, length);
    });
}

CORVO_C_API corvo_result corvo_unsubscribe(const char* symbol) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (symbol == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        if (!session.removeSymbol(symbol)) {
            failure::note("\"" + std::string(symbol).substr(0, 64) + "\" is not subscribed");
            return CORVO_REFUSED;
        }
        return CORVO_OK;
    });
}

CORVO_C_API corvo_result corvo_refresh(char* buffer, size_t capacity, size_t* needed) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (buffer == nullptr || capacity == 0) {
            return CORVO_BAD_ARGUMENT;
        }
        auto const sized = session.takeRefreshWithin(capacity);
        if (!sized.result.taken) {
            return CORVO_NOTHING_PENDING;
        }
        std::string const& text = sized.result.text;
        if (needed != nullptr) {
            *needed = text.size() + 1;
        }
        if (!sized.fits) {
            failure::note("the refresh needs " + std::to_string(text.size() + 1) + " bytes, " +
                          std::to_string(capacity) + " were given");
            return CORVO_BUFFER_TOO_SMALL;
        }
        text.copy(buffer, text.size());
        buffer[text.size()] = '\0';
        return CORVO_OK;
    });
}

CORVO_C_API corvo_result corvo_wait(int32_t timeout_ms) {
    return cCall([&](Processor& session) -> corvo_result {
        // The end stops the session after it has begun: a stop seen then is the library going.
        auto const notRunning = [] {
            return corvo::exports::Library::instance().ending() ? CORVO_TORN_DOWN
                                                                : CORVO_NOT_RUNNING;
        };
        if (!session.isRunning()) {
            return notRunning();
        }
        std::optional<std::chrono::milliseconds> timeout;
        if (timeout_ms >= 0) {
            timeout = std::chrono::milliseconds(timeout_ms);
        }
        switch (session.waitForUpdates(timeout)) {
            case UpdateSignal::Wake::pending:
                return CORVO_OK;
            case UpdateSignal::Wake::timedOut:
                return CORVO_NOTHING_PENDING;
            case UpdateSignal::Wake::interrupted:
                break;
        }
        return notRunning();
    });
}

CORVO_C_API corvo_result corvo_event_handle(intptr_t* handle) {
    return cCall([&](Processor& session) -> corvo_result {
        if (handle == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        std::intptr_t const native = session.updateHandle();
        if (native == -1) {
            failure::note("the system could not make an event handle");
            return CORVO_INTERNAL;
        }
        *handle = native;
        return CORVO_OK;
    });
}

CORVO_C_API corvo_result corvo_symbol_record(const char* symbol, char** record, size_t* length) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (symbol == nullptr || record == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        std::string const found = session.recordOf(std::string(symbol) + "_Corvo");
        if (found.empty()) {
            return CORVO_NOT_FOUND;
        }
        return handOut("{" + found + "}", record, length);
    });
}

CORVO_C_API corvo_result corvo_top20(char** text, size_t* length) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (text == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        std::string const ranking = session.top20();
        if (ranking.empty()) {
            return CORVO_NOT_FOUND;
        }
        return handOut(ranking, text, length);
    });
}

CORVO_C_API corvo_result corvo_query(corvo_query_kind kind, const char* symbol, char** reply,
                                     size_t* length) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        auto answer = reply == nullptr ? std::nullopt : fetchQuery(session, kind, symbol);
        if (!answer) {
            return CORVO_BAD_ARGUMENT;
        }
        return handOutOrReport(replyBody(std::move(*answer), ErrorStatus::asFailure), reply,
                               length);
    });
}

CORVO_C_API corvo_result corvo_feedback(int32_t account, int32_t second, int32_t third,
                                        int32_t fourth, const char* message) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (message == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        auto const answer = replyNumber(session.feedback(account, second, third, fourth, message),
                                        ErrorStatus::asFailure);
        if (!answer) {
            return reportFailure(answer.failure());
        }
        if (answer.value() == 0) {
            failure::note("the API refused the feedback: it answered 0");
            return CORVO_REFUSED;
        }
        return CORVO_OK;
    });
}

CORVO_C_API corvo_result corvo_export_files(corvo_file_kind kind, const char* directory) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        using corvo::exports::FileKind;
        if (kind < CORVO_FILES_FUNDAMENTAL || kind > CORVO_FILES_VOLUME) {
            return CORVO_BAD_ARGUMENT;
        }
        auto const fileKind = kind == CORVO_FILES_FUNDAMENTAL ? FileKind::fundamental
                              : kind == CORVO_FILES_IAA       ? FileKind::iaa
                                                              : FileKind::volume;
        auto const outcome =
            corvo::exports::runFileExport(session, fileKind, directory, ErrorStatus::asFailure);
        return outcome ? CORVO_OK : reportFailure(outcome.failure());
    });
}
