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

TEST(Teardown, CsDeinitialEndsTheLibraryAndLeavesNoThreadBehind) {
    services();  // the test servers' threads belong to the baseline
    std::size_t const baseline = threadCount();
    ASSERT_TRUE(ensureSession());
    subscribeEverything();
    ASSERT_TRUE(lib().ea_Deinitial());
    ASSERT_TRUE(ensureSession());
    EXPECT_TRUE(lib().cs_Deinitial());
    EXPECT_TRUE(eventually([&] { return threadCount() == baseline; }))
        << threadCount() << " threads, " << baseline << " before";

    std::string text = "kept";
    std::u16string buffer(4, u'k');
    EXPECT_FALSE(lib().cs_Refresh(&text));
    EXPECT_FALSE(lib().cs_Subscribe("", &text));
    EXPECT_FALSE(lib().ea_Refresh(buffer.data()));
    EXPECT_FALSE(lib().ea_Deinitial());
    EXPECT_FALSE(lib().cs_Deinitial());
    EXPECT_FALSE(lib().cs_Initial("k", 1, "127.0.0.1", apiPort().c_str()));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(lib().cs_Test(), 6) << "diagnostics need no session";
}

}  // namespace
