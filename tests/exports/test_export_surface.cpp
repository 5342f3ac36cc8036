// A freshly loaded library: names, diagnostics, and every export refusing to work without a
// session, null pointers included.
#include <gtest/gtest.h>

#include "exports/loaded_library.h"
#include "exports/scripted_api.h"

namespace {

using corvo::testing::LoadedLibrary;
using corvo::testing::u16;

const corvo::testing::Exports& lib() {
    return LoadedLibrary::instance().exports();
}

TEST(ExportSurface, EveryNameResolvesAndAliasesShareAnEntryPoint) {
#define CORVO_EXPORT_ENTRY(name) EXPECT_NE(reinterpret_cast<void*>(lib().name), nullptr) << #name;
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
    EXPECT_EQ(reinterpret_cast<void*>(lib().ea_CalculateSpeed),
              reinterpret_cast<void*>(lib().cs_CalculateSpeed));
    EXPECT_EQ(reinterpret_cast<void*>(lib().ea_Test), reinterpret_cast<void*>(lib().cs_Test));
}

TEST(ExportSurface, WithoutASessionEveryExportAnswersFalseAndWritesNothing) {
    std::u16string buffer(8, u'k');
    std::string text = "kept";
    auto const symbol = u16("PTT");
    auto* out = buffer.data();
    EXPECT_FALSE(lib().ea_Subscribe(symbol.c_str(), out));
    EXPECT_FALSE(lib().ea_Unsubscribe(symbol.c_str()));
    EXPECT_FALSE(lib().ea_Refresh(out));
    EXPECT_FALSE(lib().ea_Refresh_Symbol(symbol.c_str(), out));
    EXPECT_FALSE(lib().ea_getTop20(out));
    EXPECT_FALSE(lib().cs_Subscribe("PTT", &text));
    EXPECT_FALSE(lib().cs_Subscribe("", &text));
    EXPECT_FALSE(lib().cs_Unsubscribe("PTT"));
    EXPECT_FALSE(lib().cs_Refresh(&text));
    EXPECT_FALSE(lib().cs_getTop20(&text));
    EXPECT_FALSE(lib().ea_Fundamental(symbol.c_str(), out));
    EXPECT_FALSE(lib().ea_FundamentalAllLastYear(out));
    EXPECT_FALSE(lib().ea_IAA(symbol.c_str(), out));
    EXPECT_FALSE(lib().ea_IAAAllSymbols(out));
    EXPECT_FALSE(lib().ea_KeyMarketStatisticsPerformance(out));
    EXPECT_FALSE(lib().ea_Volume(symbol.c_str(), out));
    EXPECT_FALSE(lib().ea_Feedback(1, 2, 3, 4, symbol.c_str()));
    EXPECT_FALSE(lib().cs_Fundamental("PTT", &text));
    EXPECT_FALSE(lib().cs_FundamentalAllLastYear(&text));
    EXPECT_FALSE(lib().ea_FundamentalAllLastYearFile());
    EXPECT_FALSE(lib().ea_IAAAllSymbolsFile());
    EXPECT_FALSE(lib().ea_VolumeAllSymbolsFile());
    EXPECT_FALSE(lib().ea_Deinitial());
    EXPECT_EQ(buffer, std::u16string(8, u'k'));
    EXPECT_EQ(text, "kept");
}

TEST(ExportSurface, NullPointersAnswerFalse) {
    std::u16string buffer(4, u'\0');
    std::string text;
    EXPECT_FALSE(lib().ea_Initial(nullptr, 1, nullptr, nullptr));
    EXPECT_FALSE(lib().cs_Initial(nullptr, 1, "h", "1"));
    EXPECT_FALSE(lib().cs_Initial("k", 1, nullptr, "1"));
    EXPECT_FALSE(lib().ea_Subscribe(nullptr, nullptr));
    EXPECT_FALSE(lib().ea_Refresh(nullptr));
    EXPECT_FALSE(lib().ea_Refresh_Symbol(nullptr, buffer.data()));
    EXPECT_FALSE(lib().cs_Subscribe(nullptr, &text));
    EXPECT_FALSE(lib().cs_Subscribe("A", nullptr));
    EXPECT_FALSE(lib().cs_Unsubscribe(nullptr));
    EXPECT_FALSE(lib().cs_Refresh(nullptr));
    EXPECT_FALSE(lib().cs_getTop20(nullptr));
    EXPECT_FALSE(lib().cs_Fundamental(nullptr, nullptr));
    EXPECT_FALSE(lib().ea_Feedback(0, 0, 0, 0, nullptr));
    lib().ea_CrashTest(nullptr);
    std::uint32_t sum = 0;
    lib().cs_CalculateSpeed(nullptr, nullptr);
    lib().cs_CalculateSpeed(&sum, nullptr);
    EXPECT_NE(sum, 0u);
}

TEST(Diagnostics, SpeedSumsAreFixedAndTheLoopRunsEveryCall) {
    std::uint64_t expectedInt = 0;
    std::int64_t expectedReal = 0;
    for (std::uint64_t i = 0; i <= 10000000; ++i) {
        auto const square = static_cast<std::uint32_t>(i * i);
        expectedInt += square + 1ull;
        expectedReal += static_cast<std::int32_t>(square) + 1;
    }
    // Ten million passes cost this thread far more than a millisecond of processor time; an
    // answer worked out ahead of time would cost next to none.
    auto const threadCpu = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    for (auto* speed : {lib().cs_CalculateSpeed, lib().ea_CalculateSpeed}) {
        std::uint32_t sumInt = 0;
        double sumReal = 0;
        auto const before = threadCpu();
        speed(&sumInt, &sumReal);
        EXPECT_GT(threadCpu() - before, std::chrono::milliseconds(1));
        EXPECT_EQ(sumInt, static_cast<std::uint32_t>(expectedInt));
        EXPECT_EQ(sumReal, static_cast<double>(expectedReal));
    }
}

TEST(Diagnostics, TestAnswersSixAndCrashTestStoresZero) {
    EXPECT_EQ(lib().cs_Test(), 6);
    EXPECT_EQ(lib().ea_Test(), 6);
    std::int32_t target = 5;
    lib().ea_CrashTest(&target);
    EXPECT_EQ(target, 0);
}

}  // namespace
