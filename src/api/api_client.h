// The HTTP side of the API: one POST per call over a connection of its own. `host` and `port`
// are written by session start only, before any request; RequestPost may run on many threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace corvo::api {

class ApiClient {
  public:
    static constexpr std::size_t kHeadLimit = 8192;
    static constexpr std::uint64_t kBodyLimit = 8388608;
    static constexpr std::chrono::milliseconds kDefaultDeadline{30000};

    std::string host;
    std::int32_t port = 80;

    // Posts `body` to `target` and answers the response body whatever its status, or "0"
    // when anything fails, including running past the exchange deadline.
    std::string RequestPost(std::string target, std::string body) const;

    // The bound on one whole exchange (resolve, connect, write, read); tests shorten it.
    void setDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }

  private:
    std::chrono::milliseconds deadline_ = kDefaultDeadline;
};

}  // namespace corvo::api
