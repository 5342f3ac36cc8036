// The objects that exist from load time, reached through one global pointer each, and the
// count of exports inside the library that lets the library's end wait for them. Created by
// static initialisation in the order the design needs; only cs_Deinitial destroys them.
#pragma once

#include <mutex>

#include "session/processor.h"

namespace corvo::exports {

// An export inside the library, from construction to destruction. While one exists the
// library objects stay; `processor()` is null once the library's end has begun, and the export
// then answers false without touching anything. Costs two atomic operations each way.
class ExportScope {
  public:
    ExportScope() noexcept;
    ExportScope(const ExportScope&) = delete;
    ExportScope& operator=(const ExportScope&) = delete;
    ~ExportScope();

    session::Processor* processor() const noexcept { return processor_; }

  private:
    session::Processor* processor_;
};

// Held by the session exports so starts and stops of the one session never interleave.
std::mutex& lifecycleMutex();

// What the session exports are doing, for the status; set under the lifecycle mutex.
enum class SessionPhase { neverStarted, starting, settled, stopping };
SessionPhase sessionPhase() noexcept;

// Marks a start or a stop for as long as it lives; afterwards the phase is settled.
class PhaseScope {
  public:
    explicit PhaseScope(SessionPhase phase) noexcept;
    PhaseScope(const PhaseScope&) = delete;
    PhaseScope& operator=(const PhaseScope&) = delete;
    ~PhaseScope();
};

// True once the library's end has begun: exports started from now on answer false.
bool libraryEnding() noexcept;

enum class EndOutcome {
    ended,         // the objects are gone and no library thread runs
    busy,          // exports still inside did not leave within the bound; the last to leave,
                   // or the next end, completes the end
    alreadyEnded,  // an earlier end had completed
};

// Ends the library: refuses new exports, cancels exchanges in flight, stops the session, waits
// for every export still inside, then destroys the objects. An end asked for while another
// runs waits for it and answers the same.
EndOutcome endLibrary();

}  // namespace corvo::exports
