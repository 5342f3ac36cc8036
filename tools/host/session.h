// The library session across the actions of one run: started on first need, stopped at the end.
#pragma once

#include "library_loader.h"
#include "options.h"

namespace corvo::host {

class Session {
  public:
    Session(const Exports& exports, const Options& options);
    // A run that ended by an error still stops the session, quietly.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts a session unless one runs; throws ExportFailed naming the Initial export, or
    // CallFailed for corvo_start.
    void ensureStarted();
    // The `stop` action: corvo_stop (family c) or ea_Deinitial, which let a later action
    // start a new session.
    void stop();
    // The end of the run: family c, corvo_stop (if running) then corvo_end; else ea_Deinitial
    // (family ea, if running), then cs_Deinitial.
    void finish();

  private:
    const Exports& exports_;
    const Options& options_;
    bool running_ = false;
    bool started_ = false;  // whether any session was started in this run
    bool finished_ = false;
};

}  // namespace corvo::host
