// The entry point: each loader notification leaves one trace and nothing else. Windows calls
// DllMain; elsewhere a constructor and destructor stand in for process attach and detach.
#include "exports/conventions.h"

#ifdef _WIN32
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            corvo::trace::text("Started DLL(DLL_PROCESS_ATTACH)");
            break;
        case DLL_PROCESS_DETACH:
            corvo::trace::text("Stopped DLL(DLL_PROCESS_DETACH)");
            break;
        case DLL_THREAD_ATTACH:
            corvo::trace::text("Started DLL(DLL_THREAD_ATTACH)");
            break;
        case DLL_THREAD_DETACH:
            corvo::trace::text("Stopped DLL(DLL_THREAD_DETACH)");
            break;
        default:
            break;
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
