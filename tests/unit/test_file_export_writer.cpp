#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "session/file_export_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace corvo::session;

constexpr FileExportPlan kLines{"fundamental", "Symbol", ".txt", FileMode::appendLine};
constexpr FileExportPlan kLast{"iaa", "symbol", ".json", FileMode::replace};

class FileExportWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() /
            ("corvo-writer-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "out");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string out() const { return (root_ / "out").string(); }
    static std::string read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(root_ / "out")) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    fs::path root_;
};

TEST(FilesDirectory, ReplacesTheLastNineCharactersOfTheLibraryDirectory) {
    EXPECT_EQ(filesDirectoryOf("/terminal/MQL5/Libraries/libCorvo.so"), "/terminal/MQL5/Files");
    EXPECT_EQ(filesDirectoryOf("/x/Somewheres/lib.so"), "/x/SFiles");
    EXPECT_THROW(filesDirectoryOf("/short/lib.so"), std::out_of_range);
}

TEST(FileNames, OnlyCom7ExactlyGetsTheUnderscore) {
    EXPECT_EQ(instrumentFileName("COM7", ".txt"), "COM7_.txt");
    EXPECT_EQ(instrumentFileName("com7", ".txt"), "com7.txt");
    EXPECT_EQ(instrumentFileName("COM1", ".json"), "COM1.json");
    EXPECT_FALSE(isSafeFileCode(".."));
    EXPECT_FALSE(isSafeFileCode("."));
    EXPECT_FALSE(isSafeFileCode("../escape"));
    EXPECT_FALSE(isSafeFileCode("a\\\\b"));
    EXPECT_TRUE(isSafeFileCode("PTT"));
}

TEST_F(FileExportWriter, AppendsOneSortedLinePerElementWithTheSameCode) {
    auto answer = parseAnswer(R"([{"Symbol":"PTT","b":2,"a":1},{"Symbol":"PTT","a":3}])");
    writeElementFiles(out(), answer, kLines);
    EXPECT_EQ(names(), std::vector<std::string>{"PTT.txt"});
    EXPECT_EQ(read(root_ / "out" / "PTT.txt"),
              "{\"Symbol\":\"PTT\",\"a\":1,\"b\":2}\n{\"Symbol\":\"PTT\",\"a\":3}\n");
}

TEST_F(FileExportWriter, ReplaceModeKeepsTheLastElementWithoutLineEnd) {
    auto answer = parseAnswer(R"([{"symbol":"PTT","b":2,"a":1},{"symbol":"PTT","a":3}])");
    writeElementFiles(out(), answer, kLast);
    EXPECT_EQ(read(root_ / "out" / "PTT.json"), "{\"a\":3,\"symbol\":\"PTT\"}");
}

TEST_F(FileExportWriter, NamesFilesFromTheCodesJsonText) {
    auto answer = parseAnswer(
        R"({"k1":{"Symbol":"COM7"},"k2":{"Symbol":42},"k3":{"x":1},"k4":null,"k5":{"Symbol":"../escape"},"k6":{"Symbol":"a/b"}})");
    writeElementFiles(out(), answer, kLines);
    EXPECT_EQ(names(), (std::vector<std::string>{"42.txt", "COM7_.txt", "null.txt"}));
    EXPECT_EQ(read(root_ / "out" / "null.txt"), "{\"x\":1}\nnull\n");
    EXPECT_FALSE(fs::exists(root_ / "escape.txt"));
}

TEST_F(FileExportWriter, AScalarElementRaisesAfterEarlierFilesWereWritten) {
    auto answer = parseAnswer(R"([{"Symbol":"A"},5,{"Symbol":"B"}])");
    EXPECT_THROW(writeElementFiles(out(), answer, kLines), nlohmann::json::type_error);
    EXPECT_EQ(names(), std::vector<std::string>{"A.txt"});
}

TEST_F(FileExportWriter, HostileAnswersAreRefusedOrHandled) {
    EXPECT_THROW(parseAnswer(""), nlohmann::json::parse_error);
    EXPECT_THROW(parseAnswer("{\"a\":1} trailing"), nlohmann::json::parse_error);
    EXPECT_THROW(parseAnswer(std::string(100000, '[') + std::string(100000, ']')), AnswerTooDeep);
    auto controls = parseAnswer(R"([{"Symbol":"a\u0001b"}])");
    writeElementFiles(out(), controls, kLines);  // the escaped code holds a backslash: skipped
    EXPECT_TRUE(names().empty());
}

TEST_F(FileExportWriter, EmptyDirectoryRemovesFilesAndSubdirectories) {
    fs::create_directories(root_ / "out" / "sub" / "deeper");
    std::ofstream(root_ / "out" / "sub" / "f.txt") << "x";
    std::ofstream(root_ / "out" / "g.txt") << "y";
    emptyDirectory(out());
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(fs::exists(root_ / "out"));
    EXPECT_THROW(emptyDirectory((root_ / "missing").string()), fs::filesystem_error);
}

}  // namespace
