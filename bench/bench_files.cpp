// B6: the file exports on an 8 MiB answer of 2,000 instruments, beside parsing, dumping and
// writing the same files directly in the same run.
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "exports/loaded_library.h"
#include "measure.h"
#include "peer/curve_publisher.h"
#include "peer/http_test_server.h"

namespace {

using namespace corvo::bench;
using corvo::testing::Reply;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Creating and removing 2,000 files per run makes single runs spread widely.
constexpr int kRuns = 9;

std::string answerOf(const char* key) {
    std::string answer = "[";
    std::string const filler(4000, 'f');
    for (int i = 0; i < 2000; ++i) {
        answer += std::string("{\"") + key + "\":\"I" + std::to_string(i) + "\",\"f\":\"" + filler +
                  "\",\"n\":" + std::to_string(i * 1.5) + "},";
    }
    answer.back() = ']';
    return answer;
}

// The direct way: parse, dump each element, write its file.
double directWrite(const std::string& answer, const fs::path& directory, const char* key,
                   bool lines) {
    auto const start = Clock::now();
    if (lines) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            fs::remove_all(entry.path());
        }
    }
    auto parsed = nlohmann::json::parse(answer);
    for (auto& element : parsed) {
        std::string const line = element.dump();
        std::string code = element[key].dump();
        code.erase(std::remove(code.begin(), code.end(), '"'), code.end());
        std::ofstream file(directory / (code + (lines ? ".txt" : ".json")),
                           lines ? std::ios::app : std::ios::trunc);
        file << line;
        if (lines) {
            file << '\n';
        }
    }
    return secondsSince(start) * 1000;
}

double timedExport(bool (*fileExport)()) {
    auto const start = Clock::now();
    if (!fileExport()) {
        std::fprintf(stderr, "file export failed\n");
        std::exit(1);
    }
    return secondsSince(start) * 1000;
}

void compare(const char* what, bool (*fileExport)(), const std::string& answer,
             const fs::path& directory, const char* key, bool lines) {
    fs::create_directories(directory);
    // Both sides write the same files in the same directory: a directory of its own for the
    // direct side made the comparison one of two directories' file-system state (up to 1.3x
    // apart). Each run starts with the file system settled, not flushing the other's files.
    auto const rates = pairedRuns(
        kRuns,
        [&] {
            ::sync();
            return timedExport(fileExport);
        },
        [&] {
            ::sync();
            return directWrite(answer, directory, key, lines);
        });
    Stats const lib = summarise(rates.first);
    Stats const base = summarise(rates.second);
    row("B6", what, format(lib, "ms"), format(base, "ms"), rates.ratio(), "<= 1.25");
}

}  // namespace

int main() {
    auto& library = corvo::testing::LoadedLibrary::instance();
    auto const& lib = library.exports();
    corvo::testing::CurvePublisher feed;
    corvo::testing::HttpTestServer api(0, false);
    std::string const fundamentals = answerOf("Symbol");
    std::string const iaa = answerOf("symbol");
    api.setHandler([&](const corvo::testing::RecordedRequest& request) {
        if (request.target == "/balancer")
            return Reply::text(std::to_string(feed.port()));
        if (request.target == "/authen")
            return Reply::text("1");
        if (request.target == "/getfundalastyearallsym")
            return Reply::text(fundamentals);
        if (request.target == "/get_iaa_all_symbols")
            return Reply::text(iaa);
        return Reply::text("0");
    });
    if (!lib.cs_Initial("bench", 1, "127.0.0.1", std::to_string(api.port()).c_str())) {
        std::fprintf(stderr, "session did not start\n");
        return 1;
    }
    auto const files = library.filesDirectory();
    compare("ea_FundamentalAllLastYearFile, 8 MiB, 2,000 instruments",
            lib.ea_FundamentalAllLastYearFile, fundamentals, files / "fundamental", "Symbol", true);
    compare("ea_IAAAllSymbolsFile, 8 MiB, 2,000 instruments", lib.ea_IAAAllSymbolsFile, iaa,
            files / "iaa", "symbol", false);
    lib.cs_Deinitial();
    fs::remove_all(files.parent_path());
    return 0;
}
