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

}  // namespace

ExportScope::ExportScope() noexcept {
    exportsInside.fetch_add(1);
    processor_ = ending ? nullptr : theProcessor.load();
}

ExportScope::~ExportScope() {
    if (exportsInside.fetch_sub(1) == 1 && ending) {
        std::lock_guard<std::mutex> lock(leaveMutex);
        leftLibrary.notify_all();
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

bool endLibrary() {
    if (ending.exchange(true)) {
        return false;
    }
    session::Processor* const last = theProcessor.load();
    apiClient->cancelExchanges();
    // A start in progress sees the stop and gives up.
    last->requestSessionStop();
    {
        std::lock_guard<std::mutex> lock(lifecycle);
        last->endSession();
    }
    if (!waitForExportsToLeave()) {
        return false;
    }
    theProcessor.store(nullptr);
    delete streamSocket;  // closes a socket still held, if any
    streamSocket = nullptr;
    delete streamMonitor;
    streamMonitor = nullptr;
    delete last;
    // Nothing may follow cs_Deinitial, so the client goes too and an unload leaks nothing.
    delete apiClient;
    apiClient = nullptr;
    return true;
}

}  // namespace corvo::exports
