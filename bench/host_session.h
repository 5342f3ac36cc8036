// What the host-side benchmarks share: the loaded library's C interface, and an API on
// loopback whose balancer names a benchmark's stream port. One per process.
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corvo.h"
#include "exports/loaded_library.h"
#include "peer/http_test_server.h"

namespace corvo::bench {

struct CExports {
#define CORVO_EXPORT_ENTRY(name) decltype(&::name) name = nullptr;
#include "exports/c_export_names.inc"
#undef CORVO_EXPORT_ENTRY
};

inline const CExports& cInterface() {
    static CExports const found = [] {
        CExports exports;
        void* const handle = testing::LoadedLibrary::instance().handle();
#define CORVO_EXPORT_ENTRY(name) \
    exports.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));
#include "exports/c_export_names.inc"
#undef CORVO_EXPORT_ENTRY
        return exports;
    }();
    return found;
}

inline const testing::Exports& legacyInterface() {
    return testing::LoadedLibrary::instance().exports();
}

// Ends the benchmark when a call it relies on fails: a figure from a broken run means nothing.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "%s failed: %s\n", what, cInterface().corvo_last_error());
        std::exit(1);
    }
}

// Answers the start's exchanges: any account is known, the stream is on `streamPort`, and
// every other call (snapshots, Top20) has nothing.
class BenchApi {
  public:
    explicit BenchApi(std::uint16_t streamPort) : server_(0, false) {
        server_.setHandler([streamPort](const testing::RecordedRequest& request) {
            if (request.target == "/balancer") {
                return testing::Reply::text(std::to_string(streamPort));
            }
            if (request.target == "/authen") {
                return testing::Reply::text("1");
            }
            return testing::Reply::text("0");
        });
    }

    std::uint16_t port() const { return server_.port(); }

  private:
    testing::HttpTestServer server_;
};

inline std::uint16_t portOf(const std::string& endpoint) {
    return static_cast<std::uint16_t>(std::stoi(endpoint.substr(endpoint.rfind(':') + 1)));
}

inline std::uint64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace corvo::bench
