// The HTTP side of the API: one POST per call over a connection of its own. RequestPost may
// run on many threads at once; each exchange works on its own copy of the server address, so a
// session start may change it while an exchange of the previous session is still running.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "api/outcome.h"
#include "platform/name_lookup.h"

namespace corvo::api {

class ApiClient {
  public:
    static constexpr std::size_t kHeadLimit = 8192;
    static constexpr std::uint64_t kBodyLimit = 8388608;
    static constexpr std::chrono::milliseconds kDefaultDeadline{30000};

    using Clock = std::chrono::steady_clock;

    struct Server {
        std::string host;
        std::int32_t port = 80;
    };

    // The server's answer, whatever its status.
    struct Reply {
        unsigned status = 0;
        std::string body;
        std::string exchange;  // "POST /target to host:port", for reasons
    };

    ApiClient();

    void setServer(Server server);
    Server server() const;

    // Posts `body` to `target` and answers the response whatever its status, or a failure of
    // kind `exchange` with its reason when no response came: a transport error, running past
    // the exchange deadline or `until` (whichever is sooner), or a cancellation.
    Outcome<Reply> RequestPost(std::string target, std::string body,
                               Clock::time_point until = Clock::time_point::max()) const;

    // Ends every exchange in flight as failed and fails every later one at once: the library
    // is going away.
    void cancelExchanges() { cancelled_.store(true, std::memory_order_release); }

    // Ends every exchange in flight as failed; later ones go ahead: a session stops.
    void cancelSessionExchanges();

    // The bound on one whole exchange (name lookup, connect, write, read); tests shorten it.
    void setDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }

    // How host names are looked up; tests put in lookups that never answer.
    void setNameLookup(platform::NameLookupStarter starter) { startLookup_ = std::move(starter); }

  private:
    mutable std::mutex serverMutex_;
    Server server_;  // and sessionStopped_, under serverMutex_
    // Raised for the exchanges started since the last session stop; each takes its own copy.
    std::shared_ptr<std::atomic<bool>> sessionStopped_ = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> cancelled_{false};
    std::chrono::milliseconds deadline_ = kDefaultDeadline;
    platform::NameLookupStarter startLookup_;
};

// What one POST came to.
using PostOutcome = Outcome<ApiClient::Reply>;

}  // namespace corvo::api
