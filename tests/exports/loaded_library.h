// Loads the built library the way a host does: copied into a ".../Libraries" directory with a
// "Files" sibling, opened with dlopen, every export looked up by name. One per process; the
// library stays loaded until the process ends.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "CorvoStreaming_DLL.h"

namespace corvo::testing {

struct Exports {
#define CORVO_EXPORT_ENTRY(name) decltype(&::name) name = nullptr;
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
};

class LoadedLibrary {
  public:
    static LoadedLibrary& instance() {
        static LoadedLibrary library;
        return library;
    }

    const Exports& exports() const { return exports_; }
    const std::filesystem::path& filesDirectory() const { return files_; }
    const std::filesystem::path& libraryPath() const { return library_; }
    void* handle() const { return handle_; }

  private:
    LoadedLibrary() {
        namespace fs = std::filesystem;
        auto const root =
            fs::temp_directory_path() / ("corvo-host-" + std::to_string(::getpid())) / "Terminal";
        fs::remove_all(root.parent_path());
        fs::create_directories(root / "Libraries");
        files_ = root / "Files";
        fs::create_directories(files_);
        library_ = root / "Libraries" / "libCorvoStreaming_DLL.so";
        fs::copy_file(CORVO_LIBRARY_PATH, library_);
        handle_ = dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
        }
#define CORVO_EXPORT_ENTRY(name) \
    exports_.name = reinterpret_cast<decltype(&::name)>(dlsym(handle_, #name));
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
    }

    void* handle_ = nullptr;
    std::filesystem::path library_;
    std::filesystem::path files_;
    Exports exports_;
};

}  // namespace corvo::testing
