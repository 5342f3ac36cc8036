// Host-name lookups that the caller can stop waiting for at any moment. The lookup runs in the
// system resolver's own helpers, never on a thread of the library, so abandoning one at a
// deadline or at the library's end leaves no library code to run afterwards.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvo::platform {

struct LookupResult {
    std::vector<std::string> addresses;  // numeric, in the resolver's order
    std::string error;                   // why none was found; empty on success
};

class NameLookup {
  public:
    virtual ~NameLookup() = default;  // abandons a lookup still running

    // Waits until the lookup has ended or `until` has passed; true once it has ended.
    virtual bool waitUntil(std::chrono::steady_clock::time_point until) = 0;

    // What the ended lookup found.
    virtual LookupResult result() const = 0;
};

// Starts looking up `host` with the system resolver (addresses of any family, for TCP).
std::unique_ptr<NameLookup> startNameLookup(const std::string& host);

// Frees the abandoned lookups the resolver has let go of and ends the thread that watches for
// them; those still held wait for the next abandoned lookup. Bounded: never waits on the
// resolver. Called when a session or the library ends, so no library thread outlives it.
void settleAbandonedLookups();

using NameLookupStarter = std::function<std::unique_ptr<NameLookup>(const std::string& host)>;

}  // namespace corvo::platform
