#include "exports/library_objects.h"

#include <atomic>
#include <condition_variable>

namespace corvo::exports {
namespace {

// Longer than one exchange's deadline: exchanges in flight are cancelled, so exports normally
// leave at once, but one still writing files or waiting for its start gets time to finish.
constexpr std::chrono::seconds kExportsLeaveBound{45};

// Definition order is construction order within this file: client, socket holder, monitor,
// then the Processor that refers to all three. Unloading destroys none of them, since a host
// that exits mid-session still has session threads using them; cs_Deinitial ends them all.
api::ApiClient* apiClient = new api::ApiClient();
zmq::socket_t* streamSocket = new zmq::socket_t();
session::connect_monitor_c* streamMonitor = new session::connect_monitor_c();
std::atomic<session::Processor*> theProcessor{
    new session::Processor(*apiClient, *streamSocket, *streamMonitor)};
std::mutex lifecycle;
std::atomic<SessionPhase> phase{SessionPhase::neverStarted};

// Exports inside the library. Both sides use sequentially consistent operations: either an
// entering export sees the ending, or the ending sees the export's count.
std::atomic<int> exportsInside{0};
std::atomic<bool> ending{false};
std::mutex leaveMutex;
std::condition_variable leftLibrary;

bool waitForExportsToLeave() {
    std::unique_lock<std::mutex> lock(leaveMutex);
    return leftLibrary.wait_for(lock, kExportsLeaveBound, [] { return exportsInside == 0; });
}

// Destroys the objects once; the last export to leave after a busy end may do it, or an end.
std::mutex destroyMutex;
std::atomic<bool> destroyed{false};
std::atomic<bool> destroyPending{false};

void destroyObjects() noexcept {
    std::lock_guard<std::mutex> lock(destroyMutex);
    if (destroyed) {
        return;
    }
    session::Processor* const last = theProcessor.exchange(nullptr);
    delete streamSocket;  // closes a socket still held, if any
    streamSocket = nullptr;
    delete streamMonitor;
    streamMonitor = nullptr;
    delete last;
    // Nothing may follow the end, so the client goes too and an unload leaks nothing.
    delete apiClient;
    apiClient = nullptr;
    destroyed = true;
}

// End calls go one at a time; one that waited for another answers what that one answered.
std::mutex endMutex;
std::condition_variable endFinished;
bool endInProgress = false;              // under endMutex
std::uint64_t endsFinished = 0;          // under endMutex
EndOutcome lastEnd = EndOutcome::ended;  // under endMutex

EndOutcome runEnd() {
    if (!ending.exchange(true)) {
        apiClient->cancelExchanges();
        // A start in progress sees the stop and gives up.
        theProcessor.load()->requestSessionStop();
        std::lock_guard<std::mutex> lock(lifecycle);
        theProcessor.load()->endSession();
    }
    if (!waitForExportsToLeave()) {
        // The last of them to leave completes the end.
        destroyPending = true;
        return EndOutcome::busy;
    }
    destroyObjects();
    return EndOutcome::ended;
}

}  // namespace

ExportScope::ExportScope() noexcept {
    exportsInside.fetch_add(1);
    processor_ = ending ? nullptr : theProcessor.load();
}

ExportScope::~ExportScope() {
    if (exportsInside.fetch_sub(1) == 1 && ending) {
        {
            std::lock_guard<std::mutex> lock(leaveMutex);
            leftLibrary.notify_all();
        }
        if (destroyPending) {
            destroyObjects();
        }
    }
}

std::mutex& lifecycleMutex() {
    return lifecycle;
}

SessionPhase sessionPhase() noexcept {
    return phase;
}

PhaseScope::PhaseScope(SessionPhase entered) noexcept {
    // A stop before any start leaves the library as never started.
    if (entered != SessionPhase::stopping || phase != SessionPhase::neverStarted) {
        phase = entered;
    }
}

PhaseScope::~PhaseScope() {
    if (phase != SessionPhase::neverStarted) {
        phase = SessionPhase::settled;
    }
}

bool libraryEnding() noexcept {
    return ending;
}

EndOutcome endLibrary() {
    std::unique_lock<std::mutex> lock(endMutex);
    if (endInProgress) {
        std::uint64_t const before = endsFinished;
        endFinished.wait(lock, [&] { return endsFinished != before; });
        return lastEnd;
    }
    if (destroyed) {
        return EndOutcome::alreadyEnded;
    }
    endInProgress = true;
    lock.unlock();
    EndOutcome outcome = EndOutcome::busy;
    try {
        outcome = runEnd();
    } catch (...) {
        // Reported as busy: the end may be asked for again.
    }
    lock.lock();
    endInProgress = false;
    ++endsFinished;
    lastEnd = outcome;
    endFinished.notify_all();
    return outcome;
}

}  // namespace corvo::exports
