// File exports: the library loaded from ".../Libraries/" writes below the sibling "Files".
#include <filesystem>
#include <fstream>
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
    static void answerAll(const std::string& body) {
        for (auto const* target : {kFundaTarget, kIaaTarget, kVolumeTarget}) {
            services().answer(target, Reply::text(body));
        }
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

TEST_F(FileExports, AFailedFetchEmptiesFundamentalOnly) {
    answerAll(R"([{"Symbol":"KEEP","symbol":"KEEP"}])");
    ASSERT_TRUE(runAll());
    fs::create_directories(files() / "fundamental" / "sub" / "deeper");
    for (auto const* target : {kFundaTarget, kIaaTarget, kVolumeTarget}) {
        services().answer(target, Reply::closeWithoutReply());
    }
    EXPECT_TRUE(lib().ea_FundamentalAllLastYearFile());
    EXPECT_TRUE(namesIn(files() / "fundamental").empty());
    EXPECT_FALSE(lib().ea_IAAAllSymbolsFile());
    EXPECT_FALSE(lib().ea_VolumeAllSymbolsFile());
    EXPECT_EQ(namesIn(files() / "iaa"), std::vector<std::string>{"KEEP.json"});
    EXPECT_EQ(namesIn(files() / "volume"), std::vector<std::string>{"KEEP.json"});
}

TEST_F(FileExports, AnswersThatAreNotJsonWriteNothing) {
    answerAll(R"([{"Symbol":"KEEP","symbol":"KEEP"}])");
    ASSERT_TRUE(runAll());
    answerAll("<html>not json</html>");
    EXPECT_TRUE(runAll());
    EXPECT_TRUE(namesIn(files() / "fundamental").empty());
    EXPECT_EQ(namesIn(files() / "iaa"), std::vector<std::string>{"KEEP.json"});
}

TEST_F(FileExports, AScalarElementStopsTheWritingAfterEarlierFiles) {
    answerAll(R"([{"Symbol":"A","symbol":"A"},7,{"Symbol":"B","symbol":"B"}])");
    EXPECT_TRUE(lib().ea_FundamentalAllLastYearFile());
    EXPECT_FALSE(lib().ea_IAAAllSymbolsFile());
    EXPECT_FALSE(lib().ea_VolumeAllSymbolsFile());
    EXPECT_EQ(namesIn(files() / "fundamental"), std::vector<std::string>{"A.txt"});
    EXPECT_EQ(namesIn(files() / "iaa"), std::vector<std::string>{"A.json"});
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

TEST_F(FileExports, HostileAnswersNeverCrash) {
    answerAll(std::string(200000, '[') + std::string(200000, ']'));
    EXPECT_TRUE(runAll());
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
    EXPECT_EQ(read(files() / "fundamental" / "C.txt"), "{\"Symbol\":\"C\",\"symbol\":\"C\"}\n");
}

}  // namespace
