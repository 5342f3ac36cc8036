// The C interface: subscriptions, refreshes, records, Top20, queries, feedback and files. Sized
// results go into the caller's buffer; results of unknown size are handed out (corvo_free).
#include "exports/c_conventions.h"
#include "exports/file_export_runs.h"

namespace {

using corvo::exports::cCallRunning;
using corvo::exports::handOut;
using corvo::exports::unlessExchangeFailed;
using corvo::session::Processor;
namespace failure = corvo::failure;

// Fetches one query's reply into `text`; false for an unknown kind or a missing symbol.
bool fetchQuery(Processor& session, corvo_query_kind kind, const char* symbol, std::string& text) {
    bool const needsSymbol =
        kind == CORVO_QUERY_FUNDAMENTAL || kind == CORVO_QUERY_IAA || kind == CORVO_QUERY_VOLUME;
    if (needsSymbol && symbol == nullptr) {
        return false;
    }
    std::string const code = needsSymbol ? symbol : "";
    switch (kind) {
        case CORVO_QUERY_FUNDAMENTAL:
            return session.getFundaSingleSym(code, text) != 0;
        case CORVO_QUERY_FUNDAMENTAL_ALL_LAST_YEAR:
            return session.getFundaAllSym(text) != 0;
        case CORVO_QUERY_IAA:
            return session.getIAA(code, text) != 0;
        case CORVO_QUERY_IAA_ALL_SYMBOLS:
            return session.getIAAAllSymbols(text) != 0;
        case CORVO_QUERY_KEY_MARKET_STATISTICS:
            return session.getKeyMarketStatisticsPerformance(text) != 0;
        case CORVO_QUERY_VOLUME:
            return session.getVolume(code, text) != 0;
        default:
            return false;
    }
}

}  // namespace

CORVO_C_API corvo_result corvo_subscribe(const char* symbols, char** snapshot, size_t* length) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (symbols == nullptr || snapshot == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        std::string text;
        if (!session.addSymbol(symbols, text, false)) {
            failure::note("the stream refused the filter for \"" +
                          std::string(symbols).substr(0, 64) + "\"");
            return CORVO_REFUSED;
        }
        // The filters stay in force when a snapshot could not be fetched; a retry only
        // fetches the snapshots again.
        if (failure::noted()) {
            return CORVO_EXCHANGE_FAILED;
        }
        return handOut(text, snapshot, length);
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
        std::string text;
        if (reply == nullptr || !fetchQuery(session, kind, symbol, text)) {
            return CORVO_BAD_ARGUMENT;
        }
        corvo_result const result = unlessExchangeFailed(CORVO_OK);
        return result == CORVO_OK ? handOut(text, reply, length) : result;
    });
}

CORVO_C_API corvo_result corvo_feedback(int32_t account, int32_t second, int32_t third,
                                        int32_t fourth, const char* message) {
    return cCallRunning([&](Processor& session) -> corvo_result {
        if (message == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        std::int32_t const answer = session.feedback(account, second, third, fourth, message);
        if (answer == 0 && !failure::noted()) {
            failure::note("the API did not accept the feedback");
        }
        return unlessExchangeFailed(answer != 0 ? CORVO_OK : CORVO_REFUSED);
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
        if (!corvo::exports::runFileExport(session, fileKind, directory)) {
            if (!failure::noted()) {
                failure::note("the files could not be written");
            }
            return unlessExchangeFailed(CORVO_INTERNAL);
        }
        return unlessExchangeFailed(CORVO_OK);
    });
}
