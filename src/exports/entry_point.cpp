// The entry point. Windows calls DllMain, which does nothing under the loader lock; elsewhere a
// constructor and destructor stand in for process attach and detach and leave one trace each.
#include "exports/conventions.h"

#ifdef _WIN32
#include <windows.h>

// Runs under the loader lock, where tracing (a sink's mutex, a file) can deadlock the process:
// a thread killed by ExitProcess may hold that mutex. So nothing is done here but turning off
// the thread notifications nobody needs.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

#else

namespace {

__attribute__((constructor)) void onProcessAttach() {
    corvo::trace::text("Started DLL(DLL_PROCESS_ATTACH)");
}

__attribute__((destructor)) void onProcessDetach() {
    corvo::trace::text("Stopped DLL(DLL_PROCESS_DETACH)");
}

}  // namespace

#endif
