// File exports: the library loaded from ".../Libraries/" writes below the sibling "Files".
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
namespace fs = std::filesystem;

constexpr char kFundaTarget[] = "/getfundalastyearallsym";
constexpr char kIaaTarget[] = "/get_iaa_all_symbols";
constexpr char kVolumeTarget[] = "/getvolumeallsymbols";

class FileExports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(ensureSession()); }
    void SetUp() override {
        services().reset();
        for (auto const* name : {"fundamental", "iaa", "volume"}) {
            fs::remove_all(files() / name);
        }
    }
    static fs::path files() { return LoadedLibrary::instance().filesDirectory(); }
    static std::string read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static std::vector<std::string> namesIn(const fs::path& directory) {
        std::vector<std::string> names;
        if (fs::exists(directory)) {
            for (const auto& entry : fs::directory_iterator(directory)) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The same elements to all three: an array to fundamental and IAA, an object keyed by
    // position to volume. A text that is no array goes to all three as it is.
    static void answerAll(const std::string& body) {
        services().answer(kFundaTarget, Reply::text(body));
        services().answer(kIaaTarget, Reply::text(body));
        auto const parsed = nlohmann::json::parse(body, nullptr, false);
        if (!parsed.is_array()) {
            services().answer(kVolumeTarget, Reply::text(body));
            return;
        }
        nlohmann::json keyed = nlohmann::json::object();
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            keyed["k" + std::to_string(100000 + i)] = parsed[i];
        }
        services().answer(kVolumeTarget, Reply::text(keyed.dump()));
    }
    // Every file and directory below Files, with the contents of the files.
    static std::map<std::string, std::string> snapshotOfFiles() {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(files())) {
            found[entry.path().string()] = entry.is_regular_file() ? read(entry.path()) : "<dir>";
        }
        return found;
    }
    static bool runAll() {
        bool const fundamental = lib().ea_FundamentalAllLastYearFile();
        bool const iaa = lib().ea_IAAAllSymbolsFile();
        bool const volume = lib().ea_VolumeAllSymbolsFile();
        return fundamental && iaa && volume;
    }
};

TEST_F(FileExports, OneFilePerCodeWithMembersInKeyOrder) {
    services().answer(kFundaTarget,
                      Reply::text(R"([{"Symbol":"PTT","b":2,"a":1},{"Symbol":"PTT","a":3}])"));
    services().answer(kIaaTarget,
                      Reply::text(R"([{"symbol":"PTT","b":2,"a":1},{"symbol":"PTT","a":3}])"));
    services().answer(kVolumeTarget, Reply::text(R"({"x":{"Symbol":"V","n":1.5}})"));
    ASSERT_TRUE(runAll());
    EXPECT_EQ(namesIn(files() / "fundamental"), std::vector<std::string>{"PTT.txt"});
    EXPECT_EQ(read(files() / "fundamental" / "PTT.txt"),
              "{\"Symbol\":\"PTT\",\"a\":1,\"b\":2}\n{\"Symbol\":\"PTT\",\"a\":3}\n");
    EXPECT_EQ(read(files() / "iaa" / "PTT.json"), "{\"a\":3,\"symbol\":\"PTT\"}");
    EXPECT_EQ(read(files() / "volume" / "V.json"), "{\"Symbol\":\"V\",\"n\":1.5}");
}

TEST_F(FileExports, CodesNameTheFilesLiterally) {
    answerAll(R"([{"Symbol":"COM7","symbol":"COM7"},{"Symbol":"com7","symbol":"com7"},
                  {"Symbol":"COM1","symbol":"COM1"},{"Symbol":42,"symbol":42},{"other":1}])");
    ASSERT_TRUE(runAll());
    EXPECT_EQ(
        namesIn(files() / "fundamental"),
        (std::vector<std::string>{"42.txt", "COM1.txt", "COM7_.txt", "com7.txt", "null.txt"}));
    EXPECT_EQ(
        namesIn(files() / "iaa"),
        (std::vector<std::string>{"42.json", "COM1.json", "COM7_.json", "com7.json", "null.json"}));
}

TEST_F(FileExports, AFailureOfAnyKindLeavesEveryFileAsItWas) {
    answerAll(R"([{"Symbol":"KEEP","symbol":"KEEP"}])");
    ASSERT_TRUE(runAll());
    fs::create_directories(files() / "fundamental" / "sub" / "deeper");
    auto const before = snapshotOfFiles();
    struct Case {
        const char* what;
        Reply reply;
    };
    for (auto const& c : std::vector<Case>{
             {"a failed exchange", Reply::closeWithoutReply()},
             {"an answer that is not JSON", Reply::text("<html>not json</html>")},
             {"an empty answer", Reply::text("")},
             {"an answer of another shape", Reply::text("7")},
             {"an element that is not an object", Reply::text(R"([{"Symbol":"A"},7])")},
             {"a null element", Reply::text(R"({"k":{"Symbol":"A"},"n":null})")},
             {"hostile nesting", Reply::text(std::string(200000, '[') + std::string(200000, ']'))},
         }) {
        for (auto const* target : {kFundaTarget, kIaaTarget, kVolumeTarget}) {
            services().answer(target, c.reply);
        }
        EXPECT_FALSE(lib().ea_FundamentalAllLastYearFile()) << c.what;
        EXPECT_FALSE(lib().ea_IAAAllSymbolsFile()) << c.what;
        EXPECT_FALSE(lib().ea_VolumeAllSymbolsFile()) << c.what;
        EXPECT_EQ(snapshotOfFiles(), before) << c.what;
    }
}

TEST_F(FileExports, MissingDirectoriesAreCreatedWithTheirParents) {
    fs::remove_all(files());
    answerAll(R"([{"Symbol":"NEW","symbol":"NEW"}])");
    ASSERT_TRUE(runAll());
    EXPECT_EQ(namesIn(files() / "fundamental"), std::vector<std::string>{"NEW.txt"});
    EXPECT_EQ(namesIn(files() / "volume"), std::vector<std::string>{"NEW.json"});
}

TEST_F(FileExports, CodesCannotLeaveTheOutputDirectory) {
    answerAll(R"([{"Symbol":"../escape","symbol":"../escape"},{"Symbol":"a/b","symbol":"a/b"},
                  {"Symbol":"..","symbol":".."},{"Symbol":"x\u0001y","symbol":"ok"}])");
    EXPECT_TRUE(runAll());
    EXPECT_FALSE(fs::exists(files() / "escape.txt"));
    EXPECT_FALSE(fs::exists(files() / "escape.json"));
    EXPECT_TRUE(namesIn(files() / "fundamental").empty());
    EXPECT_EQ(namesIn(files() / "iaa"), std::vector<std::string>{"ok.json"});
}

TEST_F(FileExports, LargeAnswersOfOneCodeAreWrittenWhole) {
    std::string duplicates = "[";
    for (int i = 0; i < 5000; ++i) {
        duplicates += R"({"Symbol":"DUP","symbol":"DUP","i":)" + std::to_string(i) + "},";
    }
    duplicates += R"({"Symbol":"DUP","symbol":"DUP","s":")" + std::string(1 << 20, 'h') + "\"}]";
    answerAll(duplicates);
    EXPECT_TRUE(runAll());
    EXPECT_EQ(namesIn(files() / "fundamental"), std::vector<std::string>{"DUP.txt"});
}

TEST_F(FileExports, AnEightMebibyteAnswerOf2000InstrumentsIsWrittenWhole) {
    std::string answer = "[";
    std::string const filler(4000, 'f');
    for (int i = 0; i < 2000; ++i) {
        answer += R"({"Symbol":"I)" + std::to_string(i) + R"(","symbol":"I)" + std::to_string(i) +
                  R"(","f":")" + filler + "\"},";
    }
    answer.back() = ']';
    ASSERT_LT(answer.size(), 8u << 20);
    answerAll(answer);
    EXPECT_TRUE(runAll());
    EXPECT_EQ(namesIn(files() / "fundamental").size(), 2000u);
    EXPECT_EQ(namesIn(files() / "iaa").size(), 2000u);
    EXPECT_EQ(read(files() / "volume" / "I1999.json").size(), 4000u + 42);
}

TEST_F(FileExports, ConcurrentCallsOfOneExportRunOneAfterAnother) {
    answerAll(R"([{"Symbol":"C","symbol":"C"}])");
    std::vector<std::thread> hosts;
    std::atomic<int> succeeded{0};
    for (int t = 0; t < 4; ++t) {
        hosts.emplace_back([&] { succeeded += lib().ea_FundamentalAllLastYearFile(); });
    }
    for (auto& host : hosts) {
        host.join();
    }
    EXPECT_EQ(succeeded.load(), 4);
    EXPECT_EQ(read(files() / "fundamental" / "C.txt"), "{\"Symbol\":\"C\",\"symbol\":\"C\"}\n")
        << "exactly one line per element";
}

}  // namespace
