// A whole session of the DLL under Windows against the reference server on loopback.
//   session PORTS_FILE   start, subscribe, stream, wait for updates (corvo_wait and the event
//                        HANDLE), query, file export, ea_Deinitial, then
//                        FreeLibrary must return promptly and the DLL must go away;
//   exit PORTS_FILE      runs this program again as "child", which ends its session with
//                        cs_Deinitial and returns from main with the DLL still loaded: the
//                        process must end promptly;
//   failed               starts that fail (no API behind the port, an unreadable port), then
//                        FreeLibrary must return promptly: a failed start leaves no thread.
#include <cstring>
#include <vector>

#include "windows_host.h"

namespace {

using namespace corvo::windows_test;

constexpr auto kPromptly = std::chrono::seconds(10);
constexpr char kLogFile[] = "C:/Logs/matter.txt";

std::string apiPortOf(Tally& tally, const char* portsFile) {
    auto const ports = readSimPorts(portsFile);
    if (!tally.check(ports.has_value(), std::string("reference server ports in ") + portsFile)) {
        return {};
    }
    return std::to_string(ports->api);
}

bool startSession(Tally& tally, const Exports& lib, const std::string& apiPort) {
    auto const start = Clock::now();
    bool const started = lib.cs_Initial("demo-key", 1001, "127.0.0.1", apiPort.c_str());
    return tally.check(started, "cs_Initial(\"demo-key\", 1001, \"127.0.0.1\", \"" + apiPort +
                                    "\") in " + std::to_string(millisecondsSince(start)) + " ms");
}

// Streamed records, gathered until one of `code` arrived.
bool refreshUntil(const Exports& lib, const std::string& code) {
    std::string gathered;
    return eventually([&] {
        std::string out;
        if (lib.cs_Refresh(&out)) {
            gathered += out;
        }
        return gathered.find(code) != std::string::npos;
    });
}

void runStreamingAndQueries(Tally& tally, const Exports& lib, const Terminal& terminal) {
    std::string snapshot;
    tally.check(lib.cs_Subscribe("AAA,AAB", &snapshot) &&
                    snapshot.find("\"AAA_Corvo\":{") != std::string::npos,
                "cs_Subscribe(\"AAA,AAB\") answers JSON with AAA_Corvo");
    tally.check(refreshUntil(lib, "AAB_Corvo"), "cs_Refresh returns streamed AAB_Corvo records");
    std::string top20;
    tally.check(eventually([&] { return lib.cs_getTop20(&top20); }), "cs_getTop20 answers");

    std::string text;
    tally.check(
        lib.cs_Fundamental("AAA", &text) && text.find("\"Symbol\":\"AAA\"") != std::string::npos,
        "cs_Fundamental(\"AAA\") answers AAA's record");
    // The ea_ family: wchar_t texts in, UTF-16 into a zero-filled buffer out.
    std::wstring buffer(8388609, L'\0');
    tally.check(
        lib.ea_IAA(L"AAB", buffer.data()) && narrowResult(buffer).find("AAB") != std::string::npos,
        "ea_IAA(L\"AAB\") writes AAB's record as wchar_t");
    std::fill(buffer.begin(), buffer.end(), L'\0');
    tally.check(
        lib.ea_Refresh_Symbol(L"AAA", buffer.data()) && narrowResult(buffer).rfind('{', 0) == 0,
        "ea_Refresh_Symbol(L\"AAA\") answers a record");

    tally.check(lib.ea_FundamentalAllLastYearFile(), "ea_FundamentalAllLastYearFile answers true");
    fs::path const fundamental = terminal.files() / "fundamental";
    tally.check(fs::exists(fundamental / "AAA.txt") && fs::exists(fundamental / "AAB.txt"),
                "Files\\fundamental beside Libraries holds AAA.txt and AAB.txt (" +
                    std::to_string(filesIn(fundamental)) + " files)");
    tally.check(fs::exists(kLogFile), std::string("the session created ") + kLogFile);
}

// With AAA and AAB streaming: corvo_wait and the event HANDLE see a publish, and the refresh
// that takes the last pending update resets the event.
void runUpdateSignal(Tally& tally, const Exports& lib) {
    intptr_t handle = 0;
    if (!tally.check(lib.corvo_event_handle(&handle) == CORVO_OK && handle != 0 && handle != -1,
                     "corvo_event_handle answers an event HANDLE")) {
        return;
    }
    auto const event = reinterpret_cast<HANDLE>(handle);
    tally.check(lib.corvo_wait(20000) == CORVO_OK, "corvo_wait answers CORVO_OK after a publish");
    tally.check(WaitForSingleObject(event, 0) == WAIT_OBJECT_0,
                "WaitForSingleObject sees the event signalled while the update is pending");
    // Messages already on their way still arrive after the unsubscriptions, and may signal
    // again between a refresh and the look at the event: try until they have passed.
    tally.check(
        lib.corvo_unsubscribe("AAA") == CORVO_OK && lib.corvo_unsubscribe("AAB") == CORVO_OK,
        "corvo_unsubscribe AAA and AAB");
    std::vector<char> buffer(CORVO_REFRESH_CAPACITY);
    tally.check(eventually([&] {
                    while (lib.corvo_refresh(buffer.data(), buffer.size(), nullptr) == CORVO_OK) {
                    }
                    return WaitForSingleObject(event, 0) == WAIT_TIMEOUT;
                }),
                "WaitForSingleObject sees the event reset once a refresh took the last update");
}

int runSession(const char* portsFile) {
    Tally tally;
    try {
        std::string const apiPort = apiPortOf(tally, portsFile);
        Terminal terminal("session");
        std::error_code ignored;  // stays if the parallel exit test holds it open
        fs::remove(kLogFile, ignored);
        LoadedDll dll(terminal.dll());
        Exports const& lib = dll.exports();
        if (!apiPort.empty() && startSession(tally, lib, apiPort)) {
            runStreamingAndQueries(tally, lib, terminal);
            runUpdateSignal(tally, lib);
            bool stopped = false;
            long long ms = withinOrTerminate(tally, "ea_Deinitial", kPromptly * 3,
                                             [&] { stopped = lib.ea_Deinitial(); });
            tally.check(stopped, "ea_Deinitial answers true in " + std::to_string(ms) + " ms");
            std::string out;
            tally.check(!lib.cs_Refresh(&out), "after ea_Deinitial cs_Refresh answers false");
        }
        bool freed = false;
        long long const ms =
            withinOrTerminate(tally, "FreeLibrary", kPromptly, [&] { freed = dll.unload(); });
        tally.check(freed,
                    "FreeLibrary after ea_Deinitial returned in " + std::to_string(ms) + " ms");
        tally.check(eventually(dllUnmapped, kPromptly), "the DLL is unmapped: no thread holds it");
    } catch (const std::exception& error) {
        tally.check(false, std::string("unexpected exception: ") + error.what());
    }
    return tally.finish();
}

// The child: a short session ended by cs_Deinitial, then the event named on the command line
// is set and main returns with the DLL loaded, so the process ends through the loader.
int runChild(const char* portsFile, const char* eventName) {
    Tally tally;
    Terminal terminal("child");
    LoadedDll dll(terminal.dll());
    dll.keepUntilProcessExit();
    Exports const& lib = dll.exports();
    std::string const apiPort = apiPortOf(tally, portsFile);
    if (!apiPort.empty() && startSession(tally, lib, apiPort)) {
        std::string snapshot;
        tally.check(lib.cs_Subscribe("AAA", &snapshot), "child: cs_Subscribe(\"AAA\")");
        tally.check(refreshUntil(lib, "AAA_Corvo"), "child: cs_Refresh streams AAA_Corvo");
    }
    tally.check(lib.cs_Deinitial(), "child: cs_Deinitial answers true");
    int const status = tally.finish();
    HANDLE const event = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    SetEvent(event);
    CloseHandle(event);
    return status;
}

int runExitCheck(const char* portsFile) {
    Tally tally;
    std::string const eventName = "corvo-exit-" + std::to_string(GetCurrentProcessId());
    HANDLE const event = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    std::string self(MAX_PATH, '\0');
    self.resize(GetModuleFileNameA(nullptr, self.data(), MAX_PATH));
    std::string command = "\"" + self + "\" child \"" + portsFile + "\" " + eventName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!tally.check(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &startup, &child) != 0,
                     "started the child process")) {
        return tally.finish();
    }
    bool const reachedEnd = WaitForSingleObject(event, 120000) == WAIT_OBJECT_0;
    tally.check(reachedEnd, "the child ran its session and cs_Deinitial");
    auto const start = Clock::now();
    bool const ended =
        WaitForSingleObject(child.hProcess, static_cast<DWORD>(kPromptly.count() * 1000)) ==
        WAIT_OBJECT_0;
    long long const ms = millisecondsSince(start);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    if (!ended) {
        TerminateProcess(child.hProcess, 4);
    }
    tally.check(ended && reachedEnd,
                "the child exited " + std::to_string(ms) + " ms after cs_Deinitial");
    tally.check(ended && status == 0,
                "the child's checks passed (status " + std::to_string(status) + ")");
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(event);
    // The child could not remove its own directory while its DLL was loaded.
    std::error_code ignored;
    fs::remove_all(fs::temp_directory_path() / ("corvo-child-" + std::to_string(child.dwProcessId)),
                   ignored);
    return tally.finish();
}

int runFailedStarts() {
    Tally tally;
    try {
        Terminal terminal("failed");
        LoadedDll dll(terminal.dll());
        Exports const& lib = dll.exports();
        // Nothing listens on port 1, so the balancer names no stream port.
        tally.check(!lib.cs_Initial("demo-key", 1001, "127.0.0.1", "1"),
                    "cs_Initial without an API answers false");
        tally.check(!lib.ea_Initial(L"demo-key", 1001, L"127.0.0.1", L"x1"),
                    "ea_Initial with an unreadable port answers false");
        tally.check(!lib.ea_Deinitial(), "ea_Deinitial without a session answers false");
        bool freed = false;
        long long const ms =
            withinOrTerminate(tally, "FreeLibrary", kPromptly, [&] { freed = dll.unload(); });
        tally.check(freed, "FreeLibrary after failed starts returned in " + std::to_string(ms) +
                               " ms");
        tally.check(eventually(dllUnmapped, kPromptly), "the DLL is unmapped: no thread holds it");
    } catch (const std::exception& error) {
        tally.check(false, std::string("unexpected exception: ") + error.what());
    }
    return tally.finish();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "failed") == 0) {
        return runFailedStarts();
    }
    if (argc == 3 && std::strcmp(argv[1], "session") == 0) {
        return runSession(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0) {
        return runExitCheck(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "child") == 0) {
        return runChild(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: %s session|exit PORTS_FILE | failed\n", argv[0]);
    return 2;
}
