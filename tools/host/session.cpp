#include "session.h"

#include "c_calls.h"
#include "export_call.h"
#include "text_buffers.h"

namespace corvo::host {

Session::Session(const Exports& exports, const Options& options)
    : exports_(exports), options_(options) {}

Session::~Session() {
    try {
        finish();
    } catch (const HostError&) {
        // The error that ended the run is the one worth reporting.
    }
}

void Session::ensureStarted() {
    if (running_) {
        return;
    }
    std::string const where = "server " + options_.server + ", API port " + options_.apiPort +
                              ", login " + std::to_string(options_.login);
    if (options_.family == Family::c) {
        check(exports_, "corvo_start",
              exports_.corvo_start(options_.key.c_str(), options_.login, options_.server.c_str(),
                                   std::stoi(options_.apiPort)),
              where);
        running_ = true;
        started_ = true;
        return;
    }
    bool answer = false;
    const char* name = nullptr;
    if (options_.family == Family::cs) {
        name = "cs_Initial";
        answer = exports_.cs_Initial(options_.key.c_str(), options_.login, options_.server.c_str(),
                                     options_.apiPort.c_str());
    } else {
        name = "ea_Initial";
        auto const key = widen(options_.key);
        auto const server = widen(options_.server);
        auto const port = widen(options_.apiPort);
        answer = exports_.ea_Initial(key.c_str(), options_.login, server.c_str(), port.c_str());
    }
    if (!answer) {
        throw ExportFailed(name, "the session did not start: " + where);
    }
    running_ = true;
    started_ = true;
}

void Session::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    if (options_.family == Family::c) {
        check(exports_, "corvo_stop", exports_.corvo_stop());
        return;
    }
    require("ea_Deinitial", exports_.ea_Deinitial());
}

void Session::finish() {
    if (finished_ || !started_) {
        return;
    }
    finished_ = true;
    if (options_.family == Family::c) {
        // corvo_end runs even when corvo_stop fails, so the library always ends cleanly.
        // The stop's reason is taken before corvo_end, which replaces it.
        std::string stopFailure;
        try {
            check(exports_, "corvo_stop", running_ ? exports_.corvo_stop() : CORVO_OK);
        } catch (const CallFailed& failure) {
            stopFailure = failure.what();
        }
        running_ = false;
        check(exports_, "corvo_end", exports_.corvo_end());
        if (!stopFailure.empty()) {
            throw HostError(stopFailure);
        }
        return;
    }
    // cs_Deinitial runs even when ea_Deinitial fails, so the library always ends cleanly.
    bool const sessionStopped =
        options_.family == Family::cs || !running_ || exports_.ea_Deinitial();
    running_ = false;
    bool const libraryEnded = exports_.cs_Deinitial();
    require("ea_Deinitial", sessionStopped);
    require("cs_Deinitial", libraryEnded);
}

}  // namespace corvo::host
