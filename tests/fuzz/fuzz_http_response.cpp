// Fuzz target: RequestPost reading whatever bytes a server answers. It must return either the
// failure text or a body within the limit, and never hang past its deadline.
#include <cstdint>
#include <string>

#include "api/api_client.h"
#include "peer/http_test_server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvo::testing::Reply;
    static corvo::testing::HttpTestServer server(0, false);
    static corvo::api::ApiClient client;
    static bool const configured = [] {
        client.setServer({"127.0.0.1", server.port()});
        client.setDeadline(std::chrono::milliseconds(500));
        return true;
    }();
    (void)configured;
    // A status line most of the time, so the fuzzer reaches the head and body parsers.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[0] % 4 != 0) {
        bytes = "HTTP/1.1 200 OK\r\n" + bytes.substr(1);
    }
    server.setHandler(
        [bytes](const corvo::testing::RecordedRequest&) { return Reply::raw(bytes); });
    auto const reply = client.RequestPost("/fuzz", "b");
    if (reply && reply.value().body.size() > corvo::api::ApiClient::kBodyLimit) {
        __builtin_trap();
    }
    return 0;
}
