#include "exports/library_objects.h"

#include <atomic>

namespace corvo::exports {
namespace {

// Definition order is construction order within this file: client, socket holder, monitor,
// then the Processor that refers to all three. Unloading destroys none of them, since a host
// that exits mid-session still has session threads using them; cs_Deinitial ends them all.
api::ApiClient* apiClient = new api::ApiClient();
zmq::socket_t* streamSocket = new zmq::socket_t();
session::connect_monitor_c* streamMonitor = new session::connect_monitor_c();
std::atomic<session::Processor*> theProcessor{
    new session::Processor(*apiClient, *streamSocket, *streamMonitor)};
std::mutex lifecycle;

}  // namespace

session::Processor* processor() {
    return theProcessor.load(std::memory_order_acquire);
}

session::Processor* runningProcessor() {
    session::Processor* const current = processor();
    return current != nullptr && current->running ? current : nullptr;
}

std::mutex& lifecycleMutex() {
    return lifecycle;
}

void tearDownLibrary() {
    session::Processor* const last = theProcessor.exchange(nullptr, std::memory_order_acq_rel);
    if (last == nullptr) {
        return;
    }
    delete streamSocket;  // closes a socket still held, if any
    streamSocket = nullptr;
    delete streamMonitor;
    streamMonitor = nullptr;
    delete last;
    // Nothing may follow cs_Deinitial, so the client goes too and an unload leaks nothing.
    delete apiClient;
    apiClient = nullptr;
}

}  // namespace corvo::exports
