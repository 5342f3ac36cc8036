// Loopback HTTP/1.1 peer for tests and the reference server: records requests, plays scripted
// replies. Public methods are thread-safe; the handler runs on per-connection threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvo::testing {

using HttpFields = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;
    HttpFields fields;    // wire order, names as sent, values without surrounding blanks
    std::string body;     // exact payload bytes (chunked request bodies are decoded)
    std::string rawHead;  // request line and fields up to and including the blank line

    // First field with this name, compared case-insensitively.
    std::optional<std::string> field(std::string_view name) const;
};

// What the server does after recording a request. Build one with the factories.
struct Reply {
    enum class Kind { Text, Chunked, EofFramed, Truncated, Close, Stall, Raw, Drip, Sized };

    Kind kind = Kind::Text;
    int status = 200;
    std::string body;                   // payload, or the exact bytes for Raw and Drip
    std::size_t chunkSize = 0;          // Chunked: payload bytes per chunk (0: one chunk)
    std::size_t announcedLength = 0;    // Truncated: Content-Length sent ahead of `body`
    std::size_t sizedBytes = 0;         // Sized: generated payload length
    std::chrono::milliseconds gap{0};   // Drip: pause between bytes
    std::shared_ptr<const Reply> next;  // Stall: played once releaseStalls() is called
    // Extra head fields. Framing fields and "Connection: close" are added by the server.
    HttpFields fields{{"Content-Type", "text/plain"}};

    // Content-Length framing.
    static Reply text(std::string body, int status = 200);
    // Transfer-Encoding: chunked, `chunkSize` payload bytes per chunk.
    static Reply chunked(std::string body, std::size_t chunkSize, int status = 200);
    // Neither length nor chunking: the body ends when the server closes.
    static Reply eofFramed(std::string body, int status = 200);
    // Announces `announcedLength` bytes, sends `body` (shorter) and closes.
    static Reply truncated(std::string body, std::size_t announcedLength);
    // Closes as soon as the request is read.
    static Reply closeWithoutReply();
    // Holds the connection open until releaseStalls() (then plays `next`) or destruction.
    static Reply stall(Reply next = closeWithoutReply());
    // Writes these exact bytes, then closes.
    static Reply raw(std::string bytes);
    // Writes these bytes one at a time, `gap` apart, then closes.
    static Reply drip(std::string bytes, std::chrono::milliseconds gap);
    // Content-Length framing with a generated payload of `bodyBytes` bytes (see sizedByte).
    static Reply sized(std::size_t bodyBytes, int status = 200);

    // Byte at `index` of a Sized payload: "0123456789abcdef" repeated.
    static char sizedByte(std::size_t index) { return "0123456789abcdef"[index % 16]; }
};

// One request per connection; the connection closes after the reply. Oversized heads
// (> 64 KiB), bodies over 64 MiB and malformed requests drop the connection unrecorded.
class HttpTestServer {
  public:
    using Handler = std::function<Reply(const RecordedRequest&)>;

    // Listens on 127.0.0.1 at `port` (0: an ephemeral one). Without `record` no request is
    // kept, for servers that run for a long time.
    explicit HttpTestServer(std::uint16_t port = 0, bool record = true);
    // Stops accepting, ends every connection (stalls and drips included) and joins.
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Default answers Reply::text("0"). A handler that throws drops the connection.
    void setHandler(Handler handler);

    std::uint16_t port() const;
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // True once at least `count` requests were recorded (since the last clearRequests()).
    bool waitForRequests(std::size_t count, std::chrono::milliseconds deadline) const;
    void clearRequests();
    // Ends every stall whose request is already recorded; each then plays its `next` reply.
    void releaseStalls();
    // Frees the connections that have finished (otherwise freed at the next accept) and
    // answers how many are still open, so a host can count its descriptors at a quiet moment.
    std::size_t forgetFinishedConnections();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvo::testing
