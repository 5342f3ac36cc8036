#include "stream_calls.h"

#include <cstdint>
#include <thread>

#include "c_calls.h"
#include "export_call.h"

namespace corvo::host {

std::string StreamCalls::subscribe(const std::string& codes) {
    if (family_ == Family::c) {
        return handedOut(exports_, "corvo_subscribe", [&](char** out, std::size_t* length) {
            return exports_.corvo_subscribe(codes.c_str(), out, length);
        });
    }
    if (family_ == Family::cs) {
        return narrowAnswer("cs_Subscribe", [&](std::string* out) {
            return exports_.cs_Subscribe(codes.c_str(), out);
        });
    }
    auto const wide = widen(codes);
    return wideAnswer("ea_Subscribe", answerBuffer_,
                      [&](corvo_char16* out) { return exports_.ea_Subscribe(wide.c_str(), out); });
}

void StreamCalls::unsubscribe(const std::string& code) {
    if (family_ == Family::c) {
        check(exports_, "corvo_unsubscribe", exports_.corvo_unsubscribe(code.c_str()));
        return;
    }
    if (family_ == Family::cs) {
        require("cs_Unsubscribe", exports_.cs_Unsubscribe(code.c_str()));
        return;
    }
    require("ea_Unsubscribe", exports_.ea_Unsubscribe(widen(code).c_str()));
}

std::optional<std::string> StreamCalls::refresh() {
    if (family_ == Family::c) {
        return refreshC();
    }
    if (family_ == Family::cs) {
        std::string text;
        if (!exports_.cs_Refresh(&text)) {
            return std::nullopt;
        }
        return text;
    }
    if (!exports_.ea_Refresh(refreshBuffer_.zeroed())) {
        return std::nullopt;
    }
    return refreshBuffer_.text();
}

std::optional<std::string> StreamCalls::refreshC() {
    // The documented bound, so a result never waits for a larger buffer.
    if (cBuffer_.size() != CORVO_REFRESH_CAPACITY) {
        cBuffer_.assign(CORVO_REFRESH_CAPACITY, '\0');
    }
    corvo_result const result = exports_.corvo_refresh(cBuffer_.data(), cBuffer_.size(), nullptr);
    if (result == CORVO_NOTHING_PENDING) {
        return std::nullopt;
    }
    check(exports_, "corvo_refresh", result);
    return std::string(cBuffer_.data());
}

void StreamCalls::waitForUpdates(std::chrono::steady_clock::time_point until) {
    if (family_ != Family::c) {
        std::this_thread::sleep_until(until);
        return;
    }
    auto const left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return;
    }
    corvo_result const result = exports_.corvo_wait(static_cast<std::int32_t>(left.count()));
    if (result != CORVO_NOTHING_PENDING) {
        check(exports_, "corvo_wait", result);
    }
}

std::string StreamCalls::symbol(const std::string& code) {
    if (family_ == Family::c) {
        return handedOut(exports_, "corvo_symbol_record", [&](char** out, std::size_t* length) {
            return exports_.corvo_symbol_record(code.c_str(), out, length);
        });
    }
    auto const wide = widen(code);
    return wideAnswer("ea_Refresh_Symbol", answerBuffer_, [&](corvo_char16* out) {
        return exports_.ea_Refresh_Symbol(wide.c_str(), out);
    });
}

std::string StreamCalls::top20() {
    if (family_ == Family::c) {
        return handedOut(exports_, "corvo_top20", [&](char** out, std::size_t* length) {
            return exports_.corvo_top20(out, length);
        });
    }
    if (family_ == Family::cs) {
        return narrowAnswer("cs_getTop20",
                            [&](std::string* out) { return exports_.cs_getTop20(out); });
    }
    return wideAnswer("ea_getTop20", answerBuffer_,
                      [&](corvo_char16* out) { return exports_.ea_getTop20(out); });
}

}  // namespace corvo::host
