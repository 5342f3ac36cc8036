#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "session/file_export_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace corvo::session;

constexpr FileExportPlan kLines{"fundamental", "Symbol", ".txt", FileMode::appendLine,
                                AnswerShape::arrayOfObjects};
constexpr FileExportPlan kLast{"iaa", "symbol", ".json", FileMode::replace,
                               AnswerShape::arrayOfObjects};
constexpr FileExportPlan kKeyed{"volume", "Symbol", ".txt", FileMode::appendLine,
                                AnswerShape::objectOfObjects};

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

    // Plans and writes `text`; false when the answer was refused.
    bool write(const std::string& text, const FileExportPlan& plan) {
        auto const files = planFiles(text, plan);
        if (files) {
            writeFiles(out(), files.value());
        }
        return files.ok();
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
    ASSERT_TRUE(write(R"([{"Symbol":"PTT","b":2,"a":1},{"Symbol":"PTT","a":3}])", kLines));
    EXPECT_EQ(names(), std::vector<std::string>{"PTT.txt"});
    std::string const lineEnd = corvo::platform::kPathSeparator == '\\' ? "\r\n" : "\n";
    EXPECT_EQ(read(root_ / "out" / "PTT.txt"), "{\"Symbol\":\"PTT\",\"a\":1,\"b\":2}" + lineEnd +
                                                   "{\"Symbol\":\"PTT\",\"a\":3}" + lineEnd);
}

TEST_F(FileExportWriter, ReplaceModeKeepsTheLastElementWithoutLineEnd) {
    ASSERT_TRUE(write(R"([{"symbol":"PTT","b":2,"a":1},{"symbol":"PTT","a":3}])", kLast));
    EXPECT_EQ(read(root_ / "out" / "PTT.json"), "{\"a\":3,\"symbol\":\"PTT\"}");
}

TEST_F(FileExportWriter, NamesFilesFromTheCodesJsonText) {
    ASSERT_TRUE(write(
        R"({"k1":{"Symbol":"COM7"},"k2":{"Symbol":42},"k3":{"x":1},"k5":{"Symbol":"../escape"},"k6":{"Symbol":"a/b"},"k7":{"Symbol":"a\u0001b"},"k8":{"Symbol":"\n"}})",
        kKeyed));
    EXPECT_EQ(names(), (std::vector<std::string>{"42.txt", "COM7_.txt", "null.txt"}));
    EXPECT_FALSE(fs::exists(root_ / "escape.txt"));
}

TEST_F(FileExportWriter, AnswersOfAnotherShapeAreRefusedWholeAndWriteNothing) {
    struct Case {
        const char* text;
        const FileExportPlan* plan;
        const char* reason;
    };
    for (auto const& c : std::vector<Case>{
             {R"([{"Symbol":"A"},5,{"Symbol":"B"}])", &kLines,
              "element 1 of the answer is not an object"},
             {R"([{"Symbol":"A"},null])", &kLines, "element 1 of the answer is not an object"},
             {R"({"k":{"Symbol":"A"}})", &kLines, "the answer is not an array of objects"},
             {R"([{"Symbol":"A"}])", &kKeyed, "the answer is not an object of objects"},
             {"0", &kLast, "the answer is not an array of objects"},
             {"", &kLast, "the answer is not JSON"},
             {"{\"a\":1} trailing", &kKeyed, "the answer is not JSON"},
         }) {
        auto const files = planFiles(c.text, *c.plan);
        ASSERT_FALSE(files) << c.text;
        EXPECT_EQ(files.failure().kind, corvo::api::FailureKind::badAnswer);
        EXPECT_EQ(files.failure().reason.rfind(c.reason, 0), 0u) << files.failure().reason;
    }
    EXPECT_THROW(parseAnswer(std::string(100000, '[') + std::string(100000, ']')), AnswerTooDeep);
    EXPECT_FALSE(planFiles(std::string(100000, '[') + std::string(100000, ']'), kLast));
    EXPECT_TRUE(names().empty());
}

TEST_F(FileExportWriter, FilesAreRenamedIntoPlaceAndUnwritableOnesLeaveNothing) {
    std::ofstream(root_ / "out" / "OLD.json") << "old";
    fs::create_directories(root_ / "out" / "DIR.json" / "inside");
    EXPECT_EQ(writeFiles(out(), {{"OLD.json", "new"}, {"DIR.json", "x"}, {"N.json", "n"}}), 2u);
    EXPECT_EQ(read(root_ / "out" / "OLD.json"), "new");
    EXPECT_EQ(names(), (std::vector<std::string>{"DIR.json", "N.json", "OLD.json"}))
        << "no temporary file is left behind";
}

TEST_F(FileExportWriter, EmptyDirectoryRemovesFilesAndSubdirectories) {
    fs::create_directories(root_ / "out" / "sub" / "deeper");
    std::ofstream(root_ / "out" / "sub" / "f.txt") << "x";
    std::ofstream(root_ / "out" / "g.txt") << "y";
    EXPECT_TRUE(emptyDirectory(out()));
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(fs::exists(root_ / "out"));
    EXPECT_FALSE(emptyDirectory((root_ / "missing").string()));
}

TEST_F(FileExportWriter, OutputDirectoriesAreCreatedWithTheirParentsOrNamed) {
    EXPECT_TRUE(ensureDirectory((root_ / "a" / "b" / "c").string()));
    EXPECT_TRUE(fs::is_directory(root_ / "a" / "b" / "c"));
    std::ofstream(root_ / "plain") << "a file";
    for (auto const& path : {root_ / "plain", root_ / "plain" / "below"}) {
        auto const used = ensureDirectory(path.string());
        ASSERT_FALSE(used);
        EXPECT_NE(used.failure().reason.find(path.string()), std::string::npos);
    }
}

}  // namespace
