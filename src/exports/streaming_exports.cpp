// Streaming exports: subscriptions, refreshes of what the stream delivered, and Top20.
#include "exports/conventions.h"

namespace {

using corvo::api::ErrorStatus;
using corvo::exports::insideLibrary;
using corvo::exports::narrow;
using corvo::exports::whileRunning;
using corvo::exports::widenInto;
using corvo::session::Processor;
using corvo::session::RefreshFamily;
namespace trace = corvo::trace;

}  // namespace

CORVO_API bool ea_Subscribe(const corvo_char16* symbols, corvo_char16* out) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("ea_Subscribe");
        if (symbols == nullptr || out == nullptr) {
            return false;
        }
        std::string const text =
            session.addSymbol(narrow(symbols), true, ErrorStatus::asReply).snapshot;
        widenInto(text, out);
        trace::text("ea_Subscribe Output: ", text);
        return true;
    });
}

CORVO_API bool ea_Unsubscribe(const corvo_char16* symbol) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("ea_Unsubscribe");
        if (symbol == nullptr) {
            return false;
        }
        session.removeSymbol(narrow(symbol));
        return true;
    });
}

CORVO_API bool ea_Refresh(corvo_char16* out) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("ea_Refresh");
        if (out == nullptr) {
            return false;
        }
        auto const result = session.takeRefresh(RefreshFamily::ea);
        if (!result.appended) {
            return false;
        }
        widenInto(result.text, out);
        trace::text("ea_Refresh Output: ", result.text);
        return true;
    });
}

CORVO_API bool ea_Refresh_Symbol(const corvo_char16* symbol, corvo_char16* out) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("ea_Refresh_Symbol");
        if (symbol == nullptr || out == nullptr) {
            return false;
        }
        std::string const record = session.takeSymbolRecord(narrow(symbol) + "_Corvo");
        if (record.find('\0') != std::string::npos) {
            return false;
        }
        std::string const text = "{" + record + "}";
        widenInto(text, out);
        trace::text("ea_Refresh_Symbol Output: ", text);
        return true;
    });
}

CORVO_API bool ea_getTop20(corvo_char16* out) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("ea_getTop20");
        if (out == nullptr) {
            return false;
        }
        std::string const text = session.top20();
        if (text.size() < 2) {
            return false;
        }
        widenInto(text, out);
        trace::text("ea_getTop20 Output: ", text);
        return true;
    });
}

CORVO_API bool cs_Subscribe(const char* symbols, std::string* out) {
    // No session test: without a session socket the filter change itself answers false.
    return insideLibrary(false, [&](Processor& session) {
        if (symbols == nullptr || out == nullptr) {
            return false;
        }
        auto subscription = session.addSymbol(symbols, false, ErrorStatus::asReply);
        if (!subscription.filtered || subscription.stopped) {
            return false;
        }
        trace::text("Output:", subscription.snapshot);
        *out = std::move(subscription.snapshot);
        return true;
    });
}

CORVO_API bool cs_Unsubscribe(const char* symbol) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("cs_Unsubscribe: ", symbol == nullptr ? "" : symbol);
        if (symbol == nullptr) {
            return false;
        }
        return session.removeSymbol(symbol);
    });
}

CORVO_API bool cs_Refresh(std::string* out) {
    return whileRunning(false, [&](Processor& session) {
        if (out == nullptr) {
            return false;
        }
        auto result = session.takeRefresh(RefreshFamily::cs);
        if (!result.taken) {
            return false;
        }
        *out = std::move(result.text);
        return true;
    });
}

CORVO_API bool cs_getTop20(std::string* out) {
    return whileRunning(false, [&](Processor& session) {
        trace::text("cs_getTop20");
        if (out == nullptr) {
            return false;
        }
        std::string text = session.top20();
        if (text.size() < 2) {
            return false;
        }
        text.pop_back();
        *out = std::move(text);
        return true;
    });
}
