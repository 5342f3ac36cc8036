// The reference server against the library, end to end, so the demo can never silently rot:
// corvo-sim runs as its own process and the library is loaded the way a host loads it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "common/eventually.h"
#include "corvo/build_constants.h"
#include "exports/loaded_library.h"
#include "exports/scripted_api.h"
#include "peer/wire_protocol.h"

extern char** environ;

namespace {

using namespace corvo::testing;
namespace fs = std::filesystem;

// corvo-sim as a child process, stopped with SIGTERM at the end.
class SimProcess {
  public:
    SimProcess() {
        portsFile_ = fs::temp_directory_path() / ("corvo-sim-ports-" + std::to_string(::getpid()));
        fs::remove(portsFile_);
        std::vector<std::string> args{
            CORVO_SIM_PATH, "--ports-file", portsFile_.string(), "--instruments",       "30",
            "--rate",       "500",          "--quiet",           "--top20-interval-ms", "200"};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, CORVO_SIM_PATH, nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        eventually([&] { return readPorts(); });
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        fs::remove(portsFile_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int apiPort = 0;
    int streamPort = 0;

  private:
    bool readPorts() {
        std::ifstream file(portsFile_);
        std::string api;
        std::string stream;
        if (!(file >> api >> stream)) {
            return false;
        }
        apiPort = std::stoi(api.substr(4));
        streamPort = std::stoi(stream.substr(7));
        return true;
    }

    pid_t pid_ = 0;
    fs::path portsFile_;
};

// One POST, answering the status and body, for checks the library cannot show.
std::pair<int, std::string> post(int port, const std::string& target, const std::string& body) {
    namespace http = boost::beast::http;
    boost::asio::io_context context;
    boost::asio::ip::tcp::resolver resolver(context);
    boost::beast::tcp_stream stream(context);
    stream.connect(resolver.resolve("127.0.0.1", std::to_string(port)));
    http::request<http::string_body> request{http::verb::post, target, 11};
    request.set(http::field::host, "127.0.0.1");
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request);
    boost::beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    return {response.result_int(), response.body()};
}

// Requests built by the peers' own cipher, so the server is checked independently of the client.
std::string demoBlock(const std::string& key, const std::string& secret) {
    return corvo::peer::credentialBlock(key, secret, corvo::peer::dayKey());
}

std::string encrypt(const std::string& plaintext,
                    const corvo::peer::AesBlock& key = corvo::build::kAesKey) {
    return corvo::peer::encryptPayload(plaintext, key);
}

TEST(ReferenceServer, ChecksKeysAndCredentials) {
    SimProcess sim;
    ASSERT_GT(sim.apiPort, 0);
    auto const good =
        post(sim.apiPort, "/balancer", encrypt(demoBlock("demo-key", corvo::build::kClientSecret)));
    EXPECT_EQ(good, (std::pair<int, std::string>{200, std::to_string(sim.streamPort)}));
    corvo::peer::AesBlock otherKey{};
    otherKey.fill(7);
    auto const wrongKey =
        post(sim.apiPort, "/balancer",
             encrypt(demoBlock("demo-key", corvo::build::kClientSecret), otherKey));
    EXPECT_EQ(wrongKey.second, "0");
    EXPECT_GE(wrongKey.first, 400);
    auto const wrongSecret =
        post(sim.apiPort, "/balancer", encrypt(demoBlock("demo-key", "otherclient")));
    EXPECT_EQ(wrongSecret.second, "0");
    EXPECT_GE(wrongSecret.first, 400);
    EXPECT_EQ(post(sim.apiPort, "/nowhere", "garbage").first, 400);
    EXPECT_EQ(post(sim.apiPort, "/authen",
                   encrypt(demoBlock("demo-key", corvo::build::kClientSecret) + "|999"))
                  .second,
              "0");
}

TEST(ReferenceServer, TheLibraryRunsAWholeSessionAgainstIt) {
    SimProcess sim;
    ASSERT_GT(sim.apiPort, 0);
    auto const& lib = LoadedLibrary::instance().exports();
    ASSERT_TRUE(lib.cs_Initial("demo-key", 1001, "127.0.0.1", std::to_string(sim.apiPort).c_str()));

    std::string snapshot;
    ASSERT_TRUE(lib.cs_Subscribe("AAA,AAB", &snapshot));
    EXPECT_NE(snapshot.find("\"AAA_Corvo\":{"), std::string::npos) << snapshot;
    std::string updates;
    EXPECT_TRUE(eventually([&] {
        std::string out;
        if (lib.cs_Refresh(&out)) {
            updates += out;
        }
        return updates.find("AAB_Corvo") != std::string::npos;
    }));
    EXPECT_EQ(updates.find("AAC_Corvo"), std::string::npos) << "only subscribed instruments flow";
    std::string top20;
    EXPECT_TRUE(eventually([&] { return lib.cs_getTop20(&top20); }));

    std::string text;
    ASSERT_TRUE(lib.cs_Fundamental("AAA", &text));
    EXPECT_NE(text.find("\"Symbol\":\"AAA\""), std::string::npos);
    ASSERT_TRUE(lib.cs_FundamentalAllLastYear(&text));
    EXPECT_EQ(text.front(), '[');
    std::u16string buffer(1 << 20, u'\0');
    auto const code = u16("AAB");
    for (auto* query : {lib.ea_IAA, lib.ea_Volume, lib.ea_Fundamental}) {
        std::fill(buffer.begin(), buffer.end(), u'\0');
        ASSERT_TRUE(query(code.c_str(), buffer.data()));
        EXPECT_NE(readBack(buffer).find("AAB"), std::string::npos);
    }
    for (auto* query : {lib.ea_IAAAllSymbols, lib.ea_KeyMarketStatisticsPerformance,
                        lib.ea_FundamentalAllLastYear}) {
        std::fill(buffer.begin(), buffer.end(), u'\0');
        ASSERT_TRUE(query(buffer.data()));
        EXPECT_NE(readBack(buffer), "0");
    }
    auto const message = u16("works|well");
    EXPECT_TRUE(lib.ea_Feedback(1001, 1, 2, 3, message.c_str()));

    ASSERT_TRUE(lib.ea_FundamentalAllLastYearFile());
    ASSERT_TRUE(lib.ea_IAAAllSymbolsFile());
    ASSERT_TRUE(lib.ea_VolumeAllSymbolsFile());
    auto const files = LoadedLibrary::instance().filesDirectory();
    for (auto const& [directory, name] : std::vector<std::pair<const char*, const char*>>{
             {"fundamental", "AAA.txt"}, {"iaa", "AAA.json"}, {"volume", "AAC.json"}}) {
        EXPECT_TRUE(fs::exists(files / directory / name)) << directory << "/" << name;
    }
    EXPECT_TRUE(lib.cs_Deinitial());
}

// What corvo-sim printed for a start it refused: exactly one line and, for a bad command line,
// the hint to --help.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(ReferenceServer, ABadOptionValueIsOneLineNamingTheOptionAndAHint) {
    struct Case {
        std::string option;
        std::string value;
        std::string fragment;
    };
    std::vector<Case> const cases = {
        {"--api-port", "abc", "--api-port wants a port 0-65535"},
        {"--api-port", "70000", "--api-port wants a port 0-65535"},
        {"--stream-port", "-1", "--stream-port wants a port 0-65535"},
        {"--rate", "1e20", "--rate wants messages per second"},
        {"--rate", "0", "--rate wants messages per second"},
        {"--rate", "nan", "--rate wants messages per second"},
        {"--instruments", "0", "--instruments wants a count"},
        {"--instruments", "5x", "--instruments wants a count"},
        {"--seed", "-1", "--seed wants an unsigned 64-bit seed"},
        {"--top20-interval-ms", "0", "--top20-interval-ms wants milliseconds"},
        {"--day-key-offset", "99999999999", "--day-key-offset wants signed 32-bit seconds"},
        {"--account", "demo-key", "--account wants KEY:LOGIN"},
        {"--account", "demo-key:many", "--account wants KEY:LOGIN"},
        {"--aes-key", "00ff", "--aes-key wants 32 hexadecimal digits"},
        {"--curve-secret", "short", "--curve-secret wants a CURVE secret key"},
        {"--colour", "blue", "unknown option --colour"}};
    for (const Case& c : cases) {
        auto const run = runProgram(CORVO_SIM_PATH, {c.option, c.value});
        EXPECT_EQ(run.status, 2) << c.option << " " << c.value;
        EXPECT_EQ(run.out, "");
        auto const lines = linesOf(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_EQ(lines[0].rfind("corvo-sim: " + c.fragment, 0), 0u) << lines[0];
        if (c.option != "--colour") {
            EXPECT_NE(lines[0].find("not \"" + c.value + "\""), std::string::npos) << lines[0];
        }
        EXPECT_EQ(lines[1], "run corvo-sim --help for the options");
    }
}

TEST(ReferenceServer, ABusyPortIsNamedWithItsOption) {
    // A listener of our own holds the port.
    boost::asio::io_context context;
    boost::asio::ip::tcp::acceptor busy(
        context, boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
    std::string const port = std::to_string(busy.local_endpoint().port());
    for (std::string const option : {"--api-port", "--stream-port"}) {
        auto const run = runProgram(CORVO_SIM_PATH, {option, port, "--quiet"});
        EXPECT_EQ(run.status, 1) << option;
        auto const lines = linesOf(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind("corvo-sim: cannot listen on 127.0.0.1:" + port + " (" + option +
                                     " " + port + "): ",
                                 0),
                  0u)
            << lines[0];
        EXPECT_NE(lines[0].find("in use"), std::string::npos) << lines[0];
    }
}

}  // namespace
