// The logging set-up at session start, given a log file it cannot open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "logging/logger_setup.h"

namespace {

namespace fs = std::filesystem;

TEST(LoggerSetup, ALogFileThatCannotBeOpenedIsReportedNotThrown) {
    auto const root = fs::temp_directory_path() / ("corvo-logging-" + std::to_string(::getpid()));
    fs::create_directories(root);
    // A regular file where the log directory would be: the directory can never be created.
    std::ofstream(root / "Logs") << "not a directory";
    std::string const path = (root / "Logs" / "matter.txt").string();

    std::string failure;
    EXPECT_NO_THROW(failure = corvo::logging::setUpLogging(path).fileFailure());
    EXPECT_NE(failure.find(path), std::string::npos) << failure;
    EXPECT_TRUE(fs::is_regular_file(root / "Logs"));
    fs::remove_all(root);
}

}  // namespace
