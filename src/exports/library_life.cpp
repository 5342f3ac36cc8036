#include "exports/library_life.h"

#include <new>

#include "platform/name_lookup.h"
#include "trace/trace.h"

namespace corvo::exports {
namespace {

// Longer than one exchange's deadline: exchanges in flight are cancelled, so exports normally
// leave at once, but one still writing files or waiting for its start gets time to finish.
constexpr std::chrono::seconds kExportsLeaveBound{45};

// Marks a start or a stop for as long as it lives; afterwards the phase is settled.
class PhaseScope {
  public:
    PhaseScope(std::atomic<SessionPhase>& phase, SessionPhase entered) noexcept : phase_(phase) {
        // A stop before any start leaves the library as never started.
        if (entered != SessionPhase::stopping || phase_ != SessionPhase::neverStarted) {
            phase_ = entered;
        }
    }
    PhaseScope(const PhaseScope&) = delete;
    PhaseScope& operator=(const PhaseScope&) = delete;
    ~PhaseScope() {
        if (phase_ != SessionPhase::neverStarted) {
            phase_ = SessionPhase::settled;
        }
    }

  private:
    std::atomic<SessionPhase>& phase_;
};

// Made by static initialisation when the library is loaded.
Library& theLibrary = Library::instance();

}  // namespace

// Load.

Library& Library::instance() noexcept {
    // Built in static storage and never destroyed (see the declaration): an unload after the
    // end leaves nothing of it on the heap.
    alignas(Library) static unsigned char storage[sizeof(Library)];
    static Library* const library = new (storage) Library();
    return *library;
}

Library::Library() : objects_(std::make_unique<Objects>()), processor_(&objects_->processor) {}

// Every export.

Library::Scope::Scope() noexcept : processor_(nullptr) {
    theLibrary.enter(*this);
}

Library::Scope::~Scope() {
    theLibrary.leave();
}

void Library::enter(Scope& scope) noexcept {
    exportsInside_.fetch_add(1);
    scope.processor_ = ending_ ? nullptr : processor_.load();
}

void Library::leave() noexcept {
    if (exportsInside_.fetch_sub(1) == 1 && ending_) {
        {
            std::lock_guard<std::mutex> lock(leaveMutex_);
            leftLibrary_.notify_all();
        }
        if (destroyPending_) {
            destroyObjects();
        }
    }
}

// Start and stop, from exports inside a scope.

StartResult Library::start(StartArguments arguments) {
    session::Processor& session = *processor_.load();
    std::lock_guard<std::mutex> lock(lifecycle_);
    // A stop asked from now on ends this start; the end asks for one too.
    std::uint64_t const stopRequests = session.stopRequests();
    if (ending_) {
        return {StartOutcome::libraryEnding, {}};
    }
    if (session.isRunning()) {
        trace::text("already init");
        return {StartOutcome::alreadyRunning, {}};
    }
    StartResult result{StartOutcome::failed, {}};
    {
        PhaseScope const starting(phase_, SessionPhase::starting);
        result = startSession(session, std::move(arguments), stopRequests);
    }
    // An end that began meanwhile wins: the session it asked to stop must not live on.
    if (ending_) {
        session.endSession();
        return {StartOutcome::libraryEnding, {}};
    }
    return result;
}

bool Library::stop() {
    session::Processor& session = *processor_.load();
    // Asked before the lifecycle is taken: a start holding it gives up at once, and exchanges in
    // flight end as failed, so the stop never waits on the network.
    bool const wasRunning = session.requestSessionStop();
    std::lock_guard<std::mutex> lock(lifecycle_);
    PhaseScope const stopping(phase_, SessionPhase::stopping);
    // Without a running session there may still be threads of one that failed by itself: they
    // are joined all the same.
    session.endSession();
    return wasRunning;
}

// End, from an export outside any scope.

EndOutcome Library::end() {
    std::unique_lock<std::mutex> lock(endMutex_);
    if (endInProgress_) {
        std::uint64_t const before = endsFinished_;
        endFinished_.wait(lock, [&] { return endsFinished_ != before; });
        return lastEnd_;
    }
    if (destroyed_) {
        return EndOutcome::alreadyEnded;
    }
    endInProgress_ = true;
    lock.unlock();
    EndOutcome outcome = EndOutcome::busy;
    try {
        outcome = runEnd();
    } catch (...) {
        // Reported as busy: the end may be asked for again.
    }
    lock.lock();
    endInProgress_ = false;
    ++endsFinished_;
    lastEnd_ = outcome;
    endFinished_.notify_all();
    return outcome;
}

EndOutcome Library::runEnd() {
    if (!ending_.exchange(true)) {
        session::Processor& session = *processor_.load();
        objects_->client.cancelExchanges();
        // A start in progress sees the stop and gives up.
        session.requestSessionStop();
        std::lock_guard<std::mutex> lock(lifecycle_);
        session.endSession();
    }
    if (!waitForExportsToLeave()) {
        // The last of them to leave completes the end.
        destroyPending_ = true;
        return EndOutcome::busy;
    }
    destroyObjects();
    return EndOutcome::ended;
}

bool Library::waitForExportsToLeave() {
    std::unique_lock<std::mutex> lock(leaveMutex_);
    return leftLibrary_.wait_for(lock, kExportsLeaveBound, [&] { return exportsInside_ == 0; });
}

void Library::destroyObjects() noexcept {
    std::lock_guard<std::mutex> lock(destroyMutex_);
    if (destroyed_) {
        return;
    }
    processor_ = nullptr;
    // Nothing may follow the end, so the client goes too and an unload leaks nothing.
    objects_.reset();
    // Exports that left during the end may have abandoned lookups since the session ended.
    platform::settleAbandonedLookups();
    destroyed_ = true;
}

}  // namespace corvo::exports
