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

    // Starts a session unless one runs; throws ExportFailed naming the Initial export.
    void ensureStarted();
    // The `stop` action: ea_Deinitial, which lets a later action start a new session.
    void stop();
    // The end of the run: ea_Deinitial (family ea, if running), then cs_Deinitial.
    void finish();

  private:
    const Exports& exports_;
    const Options& options_;
    bool running_ = false;
    bool started_ = false;  // whether any session was started in this run
    bool finished_ = false;
};

}  // namespace corvo::host
