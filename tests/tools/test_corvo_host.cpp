// corvo-host as a user runs it: the help text, command-line and load errors, the diagnostics
// against the real built library, and a whole session against corvo-sim.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

extern char** environ;

namespace {

using corvo::testing::ProgramRun;
using corvo::testing::RunOptions;
namespace fs = std::filesystem;

using HostRun = ProgramRun;

HostRun runHost(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
    return corvo::testing::runProgram(CORVO_HOST_PATH, arguments, options);
}

// corvo-sim as a child process stopped with SIGTERM at the end.
class SimProcess {
  public:
    SimProcess() {
        auto const sim = std::filesystem::path(CORVO_SIM_PATH);
        std::vector<std::string> args{sim.string(),    "--ports-file", portsFile_.string(),
                                      "--instruments", "30",           "--rate",
                                      "500",           "--quiet"};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::filesystem::remove(portsFile_);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        // It writes the file once both services listen.
        auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (apiPort.empty() && std::chrono::steady_clock::now() < deadline) {
            std::ifstream file(portsFile_);
            std::string api;
            if (file >> api && api.rfind("api=", 0) == 0) {
                apiPort = api.substr(4);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        std::filesystem::remove(portsFile_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::string apiPort;

  private:
    std::filesystem::path portsFile_ = std::filesystem::temp_directory_path() /
                                       ("corvo-host-sim-ports-" + std::to_string(::getpid()));
    pid_t pid_ = 0;
};

std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
}

// A host's folder in the temporary directory: the library copied into Libraries, and a
// Files directory beside it unless `withFiles` is false.
class Terminal {
  public:
    explicit Terminal(const std::string& name, bool withFiles = true)
        : base_(fs::temp_directory_path() /
                ("corvo-host-" + name + "-" + std::to_string(::getpid()))) {
        fs::remove_all(base_);
        fs::create_directories(base_ / "Libraries");
        if (withFiles) {
            fs::create_directories(base_ / "Files");
        }
        fs::copy_file(CORVO_LIBRARY_PATH, library());
    }
    ~Terminal() {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    fs::path base() const { return base_; }
    std::string library() const {
        return (base_ / "Libraries" / "libCorvoStreaming_DLL.so").string();
    }

  private:
    fs::path base_;
};

std::string readAll(const fs::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The trace's stamp for `now`, made with the C library's own UTC conversion.
std::string utcStamp(std::chrono::system_clock::time_point now) {
    auto const millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    std::time_t const seconds = millis / 1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::size_t const length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis % 1000));
    return text;
}

TEST(CorvoHost, HelpListsEveryOptionAndAction) {
    HostRun const run = runHost({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const char* word : {"--library",
                             "--family",
                             "--key",
                             "--login",
                             "--server",
                             "--api-port",
                             "--help",
                             "subscribe LIST",
                             "unsubscribe CODE",
                             "watch SECONDS",
                             "refresh",
                             "symbol CODE",
                             "top20",
                             "query NAME",
                             "fundamental CODE",
                             "fundamental-all",
                             "iaa CODE",
                             "iaa-all",
                             "key-stats",
                             "volume CODE",
                             "feedback MESSAGE",
                             "files [SET]",
                             "speed",
                             "test",
                             "stop",
                             "status",
                             "--family c|cs|ea",
                             "default c",
                             "CORVO_TRACE=stderr"}) {
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
    }
}

TEST(CorvoHost, AMissingLibraryExitsOneNamingThePath) {
    HostRun const run =
        runHost({"--library", "/nonexistent/Libraries/libCorvoStreaming_DLL.so", "test"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("library not found: /nonexistent/Libraries/libCorvoStreaming_DLL.so"),
              std::string::npos)
        << run.err;
}

TEST(CorvoHost, AFileThatIsNoLibraryExitsOne) {
    auto const path = std::filesystem::temp_directory_path() /
                      ("corvo-host-not-a-library-" + std::to_string(::getpid()) + ".so");
    std::ofstream(path) << "not a shared object\n";
    HostRun const run = runHost({"--library", path.string(), "test"});
    std::filesystem::remove(path);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot load library " + path.string()), std::string::npos) << run.err;
}

TEST(CorvoHost, SpeedAndTestRunAgainstTheRealLibraryInEveryFamily) {
    for (const char* family : {"c", "cs", "ea"}) {
        HostRun const run =
            runHost({"--library", CORVO_LIBRARY_PATH, "--family", family, "speed", "test"});
        EXPECT_EQ(run.status, 0) << family << ": " << run.err;
        auto const lines = jsonLines(run.out);
        ASSERT_EQ(lines.size(), 2u) << run.out;
        EXPECT_TRUE(lines[0]["speed"]["milliseconds"].is_number_unsigned()) << run.out;
        EXPECT_TRUE(lines[0]["speed"]["integer_sum"].is_number_unsigned()) << run.out;
        EXPECT_EQ(lines[1], nlohmann::json({{"test", 6}})) << run.out;
    }
}

TEST(CorvoHost, WithoutActionsTheLibraryIsLoadedAndItsExportsFound) {
    HostRun const run = runHost({"--library", CORVO_LIBRARY_PATH});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, nlohmann::json({{"loaded", CORVO_LIBRARY_PATH}}).dump() + "\n");
}

TEST(CorvoHost, FilesChecksTheLibrariesLayoutBeforeAnySessionStarts) {
    enum class Layout { buildTree, noFiles, filesIsAFile };
    struct Case {
        Layout layout;
        std::string fragment;
    };
    std::vector<Case> const cases = {
        {Layout::buildTree, "must sit in a directory named Libraries with a directory Files"},
        {Layout::noFiles, "Files, beside the library's directory"},
        {Layout::noFiles, "it does not exist: create it (mkdir "},
        {Layout::filesIsAFile, "it is not a directory"}};
    for (const Case& c : cases) {
        Terminal const terminal("layout", c.layout != Layout::noFiles);
        if (c.layout == Layout::filesIsAFile) {
            fs::remove(terminal.base() / "Files");
            std::ofstream(terminal.base() / "Files") << "not a directory\n";
        }
        std::string const library =
            c.layout == Layout::buildTree ? CORVO_LIBRARY_PATH : terminal.library();
        // Nothing listens on port 1: a session started before the check would fail first.
        HostRun const run =
            runHost({"--library", library, "--api-port", "1", "subscribe", "AAA", "files"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.fragment), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("corvo_start"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CorvoHost, FamilyCSubscribesWatchesQueriesAndReportsStatusAgainstCorvoSim) {
    SimProcess sim;
    ASSERT_FALSE(sim.apiPort.empty());
    // Family c is the default, so no --family.
    HostRun const run =
        runHost({"--library", CORVO_LIBRARY_PATH, "--api-port", sim.apiPort, "subscribe", "AAA,AAB",
                 "watch", "1.5", "query", "fundamental", "AAA", "status"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto const lines = jsonLines(run.out);
    ASSERT_GE(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines.front()["AAA_Corvo"]["symbol"], "AAA") << run.out;
    std::size_t updates = 0;
    nlohmann::json lastHealth;
    for (std::size_t i = 1; i + 2 < lines.size(); ++i) {
        if (lines[i].contains("topic")) {
            EXPECT_TRUE(lines[i]["topic"] == "AAA_Corvo" || lines[i]["topic"] == "AAB_Corvo");
            EXPECT_TRUE(lines[i]["record"].contains("last")) << lines[i];
            ++updates;
        } else {
            lastHealth = lines[i]["health"];
        }
    }
    EXPECT_GT(updates, 0u) << run.out;
    EXPECT_EQ(lastHealth["connected"], true) << run.out;
    EXPECT_GT(lastHealth["messages"].get<long>(), 0) << run.out;
    double const rate = lastHealth["messages_per_second"].get<double>();
    EXPECT_GT(rate, 0.0) << run.out;
    EXPECT_NEAR(rate * 10.0, std::round(rate * 10.0), 1e-6) << "rounded to tenths: " << rate;
    EXPECT_EQ(lines[lines.size() - 2]["Symbol"], "AAA") << run.out;
    EXPECT_TRUE(lines[lines.size() - 2].contains("eps")) << run.out;
    auto const& status = lines.back();
    EXPECT_EQ(status["state"], "running") << run.out;
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["subscriptions"], 2);
    EXPECT_GE(status["messages"].get<long>(), lastHealth["messages"].get<long>());

    // A failed call names the action and instrument, its result and the library's reason, not
    // the trace hint.
    HostRun const unknown =
        runHost({"--library", CORVO_LIBRARY_PATH, "--api-port", sim.apiPort, "symbol", "ZZZ"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("symbol ZZZ: corvo_symbol_record failed: not found"),
              std::string::npos)
        << unknown.err;
    HostRun const refused =
        runHost({"--library", CORVO_LIBRARY_PATH, "--api-port", "1", "subscribe", "AAA"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(
        std::regex_search(refused.err, std::regex("corvo_start failed: start failed \\(.+\\)")))
        << refused.err;
    EXPECT_EQ(refused.err.find("CORVO_TRACE"), std::string::npos) << refused.err;
}

TEST(CorvoHost, UnknownActionsAndBadOptionsAreUsageErrors) {
    struct Case {
        std::vector<std::string> line;
        std::string fragment;  // what the error line must say
    };
    std::vector<Case> const cases = {
        {{"--library", CORVO_LIBRARY_PATH, "frobnicate"}, "unknown action \"frobnicate\""},
        {{"--library", CORVO_LIBRARY_PATH, "--family", "xx", "test"}, "--family wants c, cs or ea"},
        {{"--library", CORVO_LIBRARY_PATH, "status", "now"}, "unknown action \"now\""},
        {{"--library", CORVO_LIBRARY_PATH, "--login", "many", "test"}, "--login wants"},
        {{"--library", CORVO_LIBRARY_PATH, "--api-port", "70000", "test"}, "--api-port wants"},
        {{"--library", CORVO_LIBRARY_PATH, "--colour", "test"}, "unknown option --colour"},
        {{"--library", CORVO_LIBRARY_PATH, "watch", "-1"}, "watch wants a positive number"},
        {{"--library", CORVO_LIBRARY_PATH, "query", "nonsense"},
         "unknown query \"nonsense\"; the queries are fundamental CODE, fundamental-all, iaa "
         "CODE, iaa-all, key-stats, volume CODE, feedback MESSAGE"},
        {{"--library", CORVO_LIBRARY_PATH, "subscribe"}, "subscribe needs a value"},
        {{"test"}, "--library PATH is required"}};
    for (const Case& c : cases) {
        HostRun const run = runHost(c.line);
        EXPECT_EQ(run.status, 2) << c.line.back();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("corvo-host: " + c.fragment, 0), 0u) << run.err;
        EXPECT_NE(run.err.find("usage: corvo-host --library PATH"), std::string::npos) << run.err;
    }
}

TEST(CorvoHost, CtrlCDuringAWatchStopsTheSessionEndsTheLibraryAndExits130) {
    SimProcess sim;
    ASSERT_FALSE(sim.apiPort.empty());
    struct Case {
        std::vector<std::string> actions;
        std::string interruptAfter;
    };
    std::vector<Case> const cases = {
        // At the first update: the session streams.
        {{"subscribe", "AAA", "watch", "50", "status"}, "\"topic\""},
        // At the first health line, with nothing subscribed: the watch waits for updates that
        // never come, and still hears Ctrl-C long before it would end.
        {{"watch", "50", "status"}, "\"health\""}};
    for (const Case& c : cases) {
        Terminal const terminal("interrupt");
        fs::path const trace = terminal.base() / "trace.txt";
        RunOptions options;
        options.environment = {"CORVO_TRACE=" + trace.string()};
        options.interruptAfter = c.interruptAfter;
        options.deadline = std::chrono::seconds(20);
        std::vector<std::string> line = {"--library", terminal.library(), "--api-port",
                                         sim.apiPort};
        line.insert(line.end(), c.actions.begin(), c.actions.end());
        HostRun const run = runHost(line, options);
        EXPECT_EQ(run.status, 130) << c.interruptAfter << run.err;
        EXPECT_EQ(run.err,
                  "corvo-host: interrupted: the session is stopped and the library ended\n");
        // The watch's last line is its health; the status action after it never ran.
        auto const lines = jsonLines(run.out);
        ASSERT_FALSE(lines.empty()) << c.interruptAfter;
        EXPECT_TRUE(lines.back().contains("health")) << run.out;
        // The library's own trace shows the session stopped and its stream thread ended.
        std::string const traced = readAll(trace);
        EXPECT_NE(traced.find("] Deinitialized\n"), std::string::npos) << traced;
        EXPECT_NE(traced.find("] [Thread] ZMQ Subscriber stopped\n"), std::string::npos) << traced;
    }
}

TEST(CorvoHost, PipedOutputIsJsonLinesThroughoutTheFilesSummaryIncluded) {
    SimProcess sim;
    ASSERT_FALSE(sim.apiPort.empty());
    Terminal const terminal("piped");
    HostRun const run =
        runHost({"--library", terminal.library(), "--api-port", sim.apiPort, "subscribe", "AAA",
                 "unsubscribe", "AAA", "query", "feedback", "hello", "files", "speed", "test"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto const lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 8u) << run.out;
    for (const auto& line : lines) {
        EXPECT_FALSE(line.is_discarded()) << run.out;
    }
    EXPECT_EQ(lines[1], nlohmann::json({{"unsubscribed", "AAA"}}));
    EXPECT_EQ(lines[2], nlohmann::json({{"feedback", "sent"}}));
    const char* const sets[] = {"fundamental", "iaa", "volume"};
    for (std::size_t i = 0; i < 3; ++i) {
        auto const& files = lines[3 + i]["files"];
        EXPECT_EQ(files["set"], sets[i]) << run.out;
        EXPECT_EQ(files["directory"], (terminal.base() / "Files" / sets[i]).string());
        EXPECT_EQ(files["written"], 30) << "one file per instrument of corvo-sim";
        EXPECT_EQ(files["names"].size(), 30u);
    }
    EXPECT_EQ(lines[7], nlohmann::json({{"test", 6}}));
}

TEST(CorvoHost, TraceLinesCarryAUtcIsoStampAndTheThreadId) {
    Terminal const terminal("trace");
    fs::path const trace = terminal.base() / "trace.txt";
    RunOptions options;
    options.environment = {"CORVO_TRACE=" + trace.string()};
    std::string const before = utcStamp(std::chrono::system_clock::now());
    HostRun const run = runHost({"--library", terminal.library(), "test"}, options);
    std::string const after = utcStamp(std::chrono::system_clock::now());
    ASSERT_EQ(run.status, 0) << run.err;
    std::regex const shape(
        "([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z) \\[([0-9]+)\\] (.*)");
    std::vector<std::string> texts;
    std::istringstream lines(readAll(trace));
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, shape)) << line;
        EXPECT_LE(before, parts[1].str()) << line;
        EXPECT_GE(after, parts[1].str()) << line;
        texts.push_back(parts[3]);
    }
    // The library's own texts, unchanged behind the stamp and the thread id.
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Started DLL(DLL_PROCESS_ATTACH)"),
              texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "fnTest"), texts.end());
}

}  // namespace
