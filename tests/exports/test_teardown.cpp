// Ending the library: cs_Deinitial, unloading, and what is left behind. Its own process,
// since nothing may follow cs_Deinitial.
#include <dirent.h>

#include <filesystem>

#include "common/process_counts.h"
#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
namespace fs = std::filesystem;

// A second copy of the library, loaded from a directory too short to hold "Libraries".
class ShortDirectoryCopy {
  public:
    ShortDirectoryCopy() {
        path_ = "/tmp/libcorvo-short-" + std::to_string(::getpid()) + ".so";
        fs::copy_file(CORVO_LIBRARY_PATH, path_, fs::copy_options::overwrite_existing);
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~ShortDirectoryCopy() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
        fs::remove(path_);
    }
    template <class Function>
    Function* get(const char* name) const {
        return reinterpret_cast<Function*>(dlsym(handle_, name));
    }
    void* handle() const { return handle_; }

  private:
    std::string path_;
    void* handle_ = nullptr;
};

TEST(Teardown, FileExportsRefuseALibraryDirectoryShorterThanLibraries) {
    ShortDirectoryCopy copy;
    ASSERT_NE(copy.handle(), nullptr);
    auto* start = copy.get<decltype(::cs_Initial)>("cs_Initial");
    auto* fileExport =
        copy.get<decltype(::ea_FundamentalAllLastYearFile)>("ea_FundamentalAllLastYearFile");
    auto* iaaExport = copy.get<decltype(::ea_IAAAllSymbolsFile)>("ea_IAAAllSymbolsFile");
    auto* stop = copy.get<decltype(::ea_Deinitial)>("ea_Deinitial");
    ASSERT_TRUE(start("short", 1, "127.0.0.1", apiPort().c_str()));
    EXPECT_FALSE(fileExport());
    EXPECT_FALSE(iaaExport());
    EXPECT_TRUE(stop());
    auto* end = copy.get<decltype(::cs_Deinitial)>("cs_Deinitial");
    EXPECT_TRUE(end()) << "without a session it still ends the library quietly";
    EXPECT_FALSE(start("short", 1, "127.0.0.1", apiPort().c_str()));
    // The copy is unloaded when `copy` goes: no thread of the library may be left by then.
}

// Host threads keep calling while another ends the library: the end waits for the exports
// inside (cancelling the stalled exchange), every later call answers false, and once it has
// returned the library can be unloaded with nothing of it left running.
TEST(Teardown, TheEndWaitsForExportsInsideThenRefusesAndUnloadsCleanly) {
    services();  // the test servers' threads belong to the baseline
    std::size_t const baseline = threadCount();
    ASSERT_TRUE(ensureSession());
    ASSERT_TRUE(lib().ea_Deinitial());
    ASSERT_TRUE(ensureSession()) << "a restarted session ends as well";
    subscribeEverything();
    services().answer("/getiaa", Reply::stall());

    std::atomic<bool> ended{false};
    std::atomic<int> lateTrues{0};
    std::vector<std::thread> hosts;
    std::atomic<std::int64_t> stalledReturned{0};
    hosts.emplace_back([&] {
        std::u16string buffer(16, u'\0');
        lib().ea_IAA(u"STALL", buffer.data());
        stalledReturned = std::chrono::steady_clock::now().time_since_epoch().count();
    });
    auto const callUntilEnded = [&](auto call) {
        hosts.emplace_back([&, call] {
            while (!ended) {
                call();
            }
            lateTrues += call();
        });
    };
    callUntilEnded([] {
        std::string out;
        return lib().cs_Refresh(&out);
    });
    callUntilEnded([] {
        std::string out;
        return lib().cs_Fundamental("F", &out);
    });
    callUntilEnded([] {
        std::string out;
        return lib().cs_Subscribe("S", &out) && lib().cs_Unsubscribe("S");
    });
    callUntilEnded([] {
        std::u16string buffer(64, u'\0');
        return lib().ea_getTop20(buffer.data());
    });
    ASSERT_TRUE(eventually([] { return services().requestsTo("/getiaa").size() == 1; }));

    auto const ending = std::chrono::steady_clock::now();
    // A second end while the first runs waits for it and answers the same.
    std::atomic<bool> secondEnd{false};
    std::thread second([&] { secondEnd = lib().cs_Deinitial(); });
    EXPECT_TRUE(lib().cs_Deinitial());
    auto const endReturned = std::chrono::steady_clock::now();
    second.join();
    EXPECT_TRUE(secondEnd);
    EXPECT_LT(endReturned - ending, std::chrono::seconds(10))
        << "the stalled exchange was cancelled, not waited out";
    EXPECT_NE(stalledReturned.load(), 0) << "the end waited for the export inside";
    EXPECT_LE(stalledReturned.load(), endReturned.time_since_epoch().count());
    ended = true;
    for (auto& host : hosts) {
        host.join();
    }
    EXPECT_EQ(lateTrues.load(), 0);
    services().http.releaseStalls();
    EXPECT_TRUE(eventually([&] { return threadCount() == baseline; }))
        << threadCount() << " threads, " << baseline << " before";

    std::string text = "kept";
    std::u16string buffer(4, u'k');
    EXPECT_FALSE(lib().cs_Subscribe("", &text));
    EXPECT_FALSE(lib().ea_Refresh(buffer.data()));
    EXPECT_FALSE(lib().ea_Deinitial());
    EXPECT_FALSE(lib().cs_Deinitial());
    EXPECT_FALSE(lib().cs_Initial("k", 1, "127.0.0.1", apiPort().c_str()));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(buffer, u"kkkk");
    EXPECT_EQ(lib().cs_Test(), 6) << "diagnostics need no session";

    // Nothing of the library runs any more, so unloading it is safe; the process goes on.
    EXPECT_EQ(dlclose(LoadedLibrary::instance().handle()), 0);
    EXPECT_EQ(threadCount(), baseline);
    EXPECT_EQ(dlopen(CORVO_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "really unloaded";
}

}  // namespace
