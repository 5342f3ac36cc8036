#include "trace/failure.h"

#include <algorithm>
#include <cstring>

#include "trace/trace.h"

namespace corvo::failure {
namespace {

// Plain storage, nothing to destroy: a host thread may outlive the library, and a thread-local
// object with a destructor would then run library code after an unload.
constexpr std::size_t kReasonCapacity = 1024;
thread_local char threadReason[kReasonCapacity];
thread_local bool threadNoted = false;

}  // namespace

void clear() {
    threadNoted = false;
}

void note(std::string_view reason) {
    trace::text(reason);
    std::size_t const kept = std::min(reason.size(), kReasonCapacity - 1);
    std::memcpy(threadReason, reason.data(), kept);
    threadReason[kept] = '\0';
    threadNoted = true;
}

bool noted() {
    return threadNoted;
}

const char* reason() {
    return threadReason;
}

}  // namespace corvo::failure
