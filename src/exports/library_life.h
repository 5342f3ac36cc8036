// The library's life in one place: the objects made at load, the session's starts and stops,
// and the end that destroys the objects. Its operations are the only way in: every export
// enters a `Scope`, and the session exports go through `start`, `stop` and `end`.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "exports/session_start.h"
#include "session/processor.h"

namespace corvo::exports {

// What the session exports are doing, for the status.
enum class SessionPhase { neverStarted, starting, settled, stopping };

enum class EndOutcome {
    ended,         // the objects are gone and no library thread runs
    busy,          // exports still inside did not leave within the bound; the last to leave,
                   // or the next end, completes the end
    alreadyEnded,  // an earlier end had completed
};

class Library {
  public:
    // Made at load and never destroyed: a host that exits mid-session may still have session
    // threads using the objects; only `end` ends them.
    static Library& instance() noexcept;

    // An export inside the library, from construction to destruction. While one exists the
    // objects stay; `processor()` is null once the end has begun, and the export then answers
    // without touching anything. Costs two atomic operations each way.
    class Scope {
      public:
        Scope() noexcept;
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope();

        session::Processor* processor() const noexcept { return processor_; }

      private:
        friend class Library;
        session::Processor* processor_;
    };

    // Starts a session unless one runs; starts and stops never interleave.
    StartResult start(StartArguments arguments);
    // Stops the session, or what a session that failed by itself left, without waiting on the
    // network; answers whether one ran. Nothing of the session runs once it returns.
    bool stop();
    // Refuses new exports, cancels exchanges in flight, stops the session, waits for every
    // export still inside, then destroys the objects. An end asked for while another runs waits
    // for it and answers the same.
    EndOutcome end();

    SessionPhase phase() const noexcept { return phase_; }
    // True once the end has begun.
    bool ending() const noexcept { return ending_; }

  private:
    // Declared so that the Processor, which refers to the others, is destroyed first.
    struct Objects {
        api::ApiClient client;
        session::connect_monitor_c streamMonitor;
        zmq::socket_t streamSocket;
        session::Processor processor{client, streamSocket, streamMonitor};
    };

    Library();
    void enter(Scope& scope) noexcept;
    void leave() noexcept;
    EndOutcome runEnd();
    bool waitForExportsToLeave();
    void destroyObjects() noexcept;

    std::unique_ptr<Objects> objects_;  // until the end destroys them
    std::atomic<session::Processor*> processor_;

    std::mutex lifecycle_;  // held by every start and stop
    std::atomic<SessionPhase> phase_{SessionPhase::neverStarted};

    // Exports inside. Both sides use sequentially consistent operations: either an entering
    // export sees the end, or the end sees the export's count.
    std::atomic<int> exportsInside_{0};
    std::atomic<bool> ending_{false};
    std::mutex leaveMutex_;
    std::condition_variable leftLibrary_;

    // The objects are destroyed once, by an end or by the last export to leave a busy end.
    std::mutex destroyMutex_;
    std::atomic<bool> destroyed_{false};
    std::atomic<bool> destroyPending_{false};

    // Ends go one at a time; one that waited for another answers what that one answered.
    std::mutex endMutex_;
    std::condition_variable endFinished_;
    bool endInProgress_ = false;              // under endMutex_
    std::uint64_t endsFinished_ = 0;          // under endMutex_
    EndOutcome lastEnd_ = EndOutcome::ended;  // under endMutex_
};

}  // namespace corvo::exports
