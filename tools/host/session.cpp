#include "session.h"

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
        throw ExportFailed(name, "the session did not start: server " + options_.server +
                                     ", API port " + options_.apiPort + ", login " +
                                     std::to_string(options_.login));
    }
    running_ = true;
    started_ = true;
}

void Session::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    require("ea_Deinitial", exports_.ea_Deinitial());
}

void Session::finish() {
    if (finished_ || !started_) {
        return;
    }
    finished_ = true;
    // cs_Deinitial runs even when ea_Deinitial fails, so the library always ends cleanly.
    bool const sessionStopped =
        options_.family == Family::cs || !running_ || exports_.ea_Deinitial();
    running_ = false;
    bool const libraryEnded = exports_.cs_Deinitial();
    require("ea_Deinitial", sessionStopped);
    require("cs_Deinitial", libraryEnded);
}

}  // namespace corvo::host
