// Runs the actions of the command line in order against one loaded library.
#pragma once

#include "library_loader.h"
#include "options.h"
#include "output.h"
#include "query_calls.h"
#include "session.h"
#include "stream_calls.h"

namespace corvo::host {

class ActionRunner {
  public:
    ActionRunner(const Library& library, const Options& options, const Output& output);

    // Throws HostError naming the action when it fails, Interrupted when Ctrl-C ended a watch.
    void run(const Action& action);
    // Stops the session, if one was started; throws when a stopping export answers false.
    void finish() { session_.finish(); }

  private:
    void dispatch(const Action& action);
    void runStreaming(const Action& action);
    void speed();
    void test();

    const Library& library_;
    const Options& options_;
    const Output& output_;
    Session session_;
    StreamCalls stream_;
    QueryCalls queries_;
};

}  // namespace corvo::host
