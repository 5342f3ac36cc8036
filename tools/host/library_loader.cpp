#include "library_loader.h"

#include <dlfcn.h>

#include "host_errors.h"

namespace corvo::host {

void Library::Closer::operator()(void* handle) const {
    dlclose(handle);
}

Library Library::open(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(path, error)) {
        throw HostError("library not found: " + path);
    }
    Library library;
    // Absolute, so dlopen never searches elsewhere and the library sees the directory we mean.
    library.path_ = fs::absolute(path);
    // RTLD_NODELETE: the library's detached threads may still be winding down after
    // cs_Deinitial, so its code must stay mapped until the process ends.
    library.handle_.reset(dlopen(library.path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!library.handle_) {
        throw HostError("cannot load library " + path + ": " + dlerror());
    }
    void* const handle = library.handle_.get();
    auto const lookUp = [&](const char* name) {
        void* const symbol = dlsym(handle, name);
        if (symbol == nullptr) {
            throw HostError("the library " + path + " has no export " + name +
                            " (is it a build of CorvoStreaming_DLL?)");
        }
        return symbol;
    };
#define CORVO_HOST_LOOK_UP(name) \
    library.exports_.name = reinterpret_cast<decltype(&::name)>(lookUp(#name));
    CORVO_HOST_EXPORTS(CORVO_HOST_LOOK_UP)
#undef CORVO_HOST_LOOK_UP
    return library;
}

}  // namespace corvo::host
