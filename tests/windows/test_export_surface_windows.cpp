// The DLL's export surface under Windows: every name resolves, the second names share their
// entry points, DllMain runs, the diagnostics compute what they should, every export answers
// false without a session, and after cs_Deinitial and FreeLibrary nothing is left behind.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

#include "windows_host.h"

namespace {

using namespace corvo::windows_test;

// The sums cs_CalculateSpeed must produce, worked out here the same way: for i = 0 ..
// 10,000,000, the low 32 bits of i*i plus 1, as unsigned (wrapping) and as a double of the
// signed reading.
void expectedSpeedSums(std::uint32_t& integerSum, double& realSum) {
    integerSum = 0;
    realSum = 0.0;
    for (std::uint32_t i = 0; i <= 10000000u; ++i) {
        std::uint32_t const square = i * i;
        integerSum += square + 1u;
        realSum += static_cast<double>(static_cast<std::int32_t>(square));
        realSum += 1.0;
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void checkNames(Tally& tally, const LoadedDll& dll) {
    int resolved = 0;
#define CORVO_EXPORT_ENTRY(name) resolved += dll.address(#name) != nullptr ? 1 : 0;
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
    tally.check(resolved == 30,
                "GetProcAddress resolves all 30 names (" + std::to_string(resolved) + ")");
    tally.check(dll.address("ea_CalculateSpeed") == dll.address("cs_CalculateSpeed"),
                "ea_CalculateSpeed and cs_CalculateSpeed share one address");
    tally.check(dll.address("ea_Test") == dll.address("cs_Test"),
                "ea_Test and cs_Test share one address");
    tally.check(dll.address("DllMain") == nullptr && dll.address("zmq_ctx_new") == nullptr,
                "nothing else is exported (DllMain, zmq_ctx_new)");
}

void checkDiagnostics(Tally& tally, const Exports& lib) {
    tally.check(lib.cs_Test() == 6 && lib.ea_Test() == 6, "cs_Test and ea_Test answer 6");
    std::uint32_t wantInt = 0;
    double wantReal = 0.0;
    expectedSpeedSums(wantInt, wantReal);
    std::uint32_t gotInt = 1;
    double gotReal = 1.0;
    std::uint32_t const ticks = lib.cs_CalculateSpeed(&gotInt, &gotReal);
    tally.check(gotInt == wantInt, "cs_CalculateSpeed integer sum " + std::to_string(gotInt) +
                                       " == " + std::to_string(wantInt));
    tally.check(std::memcmp(&gotReal, &wantReal, sizeof gotReal) == 0,
                "cs_CalculateSpeed real sum " + std::to_string(gotReal) +
                    " == " + std::to_string(wantReal));
    tally.check(ticks < 60000, "cs_CalculateSpeed took " + std::to_string(ticks) + " ms");
    std::uint32_t aliasInt = 0;
    lib.ea_CalculateSpeed(&aliasInt, nullptr);
    tally.check(aliasInt == wantInt, "ea_CalculateSpeed gives the same integer sum");
    std::int32_t target = 7;
    lib.ea_CrashTest(&target);
    lib.ea_CrashTest(nullptr);
    tally.check(target == 0, "ea_CrashTest writes 0 and ignores a null target");
}

void checkNoSession(Tally& tally, const Exports& lib) {
    std::wstring buffer(8, L'k');
    std::string text = "kept";
    std::wstring const symbol = L"PTT";
    wchar_t* out = buffer.data();
    // Every call is made (a braced list evaluates left to right), then the answers are counted.
    bool const answers[] = {lib.ea_Subscribe(symbol.c_str(), out),
                            lib.ea_Unsubscribe(symbol.c_str()),
                            lib.ea_Refresh(out),
                            lib.ea_Refresh_Symbol(symbol.c_str(), out),
                            lib.ea_getTop20(out),
                            lib.cs_Subscribe("PTT", &text),
                            lib.cs_Unsubscribe("PTT"),
                            lib.cs_Refresh(&text),
                            lib.cs_getTop20(&text),
                            lib.ea_Fundamental(symbol.c_str(), out),
                            lib.ea_FundamentalAllLastYear(out),
                            lib.ea_IAA(symbol.c_str(), out),
                            lib.ea_IAAAllSymbols(out),
                            lib.ea_KeyMarketStatisticsPerformance(out),
                            lib.ea_Volume(symbol.c_str(), out),
                            lib.ea_Feedback(1, 2, 3, 4, symbol.c_str()),
                            lib.cs_Fundamental("PTT", &text),
                            lib.cs_FundamentalAllLastYear(&text),
                            lib.ea_FundamentalAllLastYearFile(),
                            lib.ea_IAAAllSymbolsFile(),
                            lib.ea_VolumeAllSymbolsFile(),
                            lib.ea_Deinitial()};
    auto const trueCount = std::count(std::begin(answers), std::end(answers), true);
    tally.check(trueCount == 0, "without a session all " + std::to_string(std::size(answers)) +
                                    " session exports answer false");
    tally.check(buffer == std::wstring(8, L'k') && text == "kept",
                "and writes nothing into the caller's buffers");
    bool const nullAnswers[] = {lib.ea_Initial(nullptr, 1, nullptr, nullptr),
                                lib.cs_Initial(nullptr, 1, "h", "1"),
                                lib.cs_Subscribe(nullptr, &text),
                                lib.cs_Refresh(nullptr),
                                lib.ea_Refresh(nullptr),
                                lib.cs_Fundamental(nullptr, nullptr)};
    tally.check(std::count(std::begin(nullAnswers), std::end(nullAnswers), true) == 0,
                "null pointers answer false");
}

}  // namespace

int main() {
    Tally tally;
    try {
        Terminal terminal("surface");
        fs::path const traceFile = terminal.base() / "trace.txt";
        // _putenv_s, not SetEnvironmentVariableA: the DLL reads the C runtime's copy.
        _putenv_s("CORVO_TRACE", traceFile.string().c_str());
        tally.check(dllUnmapped(), "the DLL is not loaded before LoadLibraryA");
        LoadedDll dll(terminal.dll());
        Exports const& lib = dll.exports();
        checkNames(tally, dll);
        checkDiagnostics(tally, lib);
        checkNoSession(tally, lib);
        std::thread([&] { lib.cs_Test(); }).join();
        tally.check(lib.cs_Deinitial(), "cs_Deinitial without a session tears down: true");
        tally.check(!lib.cs_Deinitial() && !lib.cs_Initial("demo-key", 1001, "127.0.0.1", "1"),
                    "after cs_Deinitial the session exports answer false");
        bool freed = false;
        long long const ms = withinOrTerminate(tally, "FreeLibrary", std::chrono::seconds(20),
                                               [&] { freed = dll.unload(); });
        tally.check(freed, "FreeLibrary returned in " + std::to_string(ms) + " ms");
        tally.check(eventually(dllUnmapped, std::chrono::seconds(10)), "the DLL is unmapped");
        std::string const trace = readFile(traceFile);
        tally.check(trace.find("DLL(DLL_") == std::string::npos,
                    "DllMain traces nothing under the loader lock, threads included");
        tally.check(trace.find("fnTest") != std::string::npos, "the trace hook wrote cs_Test");
    } catch (const std::exception& error) {
        tally.check(false, std::string("unexpected exception: ") + error.what());
    }
    return tally.finish();
}
