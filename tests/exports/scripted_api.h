// The operator's two services for export tests: an HTTP API whose replies are scripted per
// target, and a CURVE publisher whose port the balancer announces.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "peer/curve_publisher.h"
#include "peer/http_test_server.h"
#include "peer/payload_decrypt.h"

namespace corvo::testing {

class ScriptedApi {
  public:
    ScriptedApi() {
        reset();
        http.setHandler([this](const RecordedRequest& request) { return replyFor(request); });
    }

    // Back to the defaults: balancer names the publisher, authen accepts, snapshots per code.
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_.clear();
        replies_["/balancer"] = Reply::text(std::to_string(publisher.port()));
        replies_["/authen"] = Reply::text("1");
        replies_["/gettop20datas"] = Reply::text("{\"top20\":\"snapshot\"}");
    }

    void answer(const std::string& target, Reply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[target] = std::move(reply);
    }

    // Requests to `target` seen so far, oldest first.
    std::vector<RecordedRequest> requestsTo(const std::string& target) const {
        std::vector<RecordedRequest> found;
        for (auto& request : http.requests()) {
            if (request.target == target) {
                found.push_back(request);
            }
        }
        return found;
    }

  private:
    // Declared before the servers, so the servers and their threads are gone first.
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;

  public:
    HttpTestServer http;
    CurvePublisher publisher;

  private:
    Reply replyFor(const RecordedRequest& request) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto const scripted = replies_.find(request.target);
        if (scripted != replies_.end()) {
            return scripted->second;
        }
        if (request.target.rfind("/getsymboldatas", 0) == 0) {
            std::string const code = splitBars(decryptPayload(request.body)).back();
            // The operator knows upper-case codes only: others have an empty snapshot.
            bool const known = std::none_of(code.begin(), code.end(), ::islower);
            if (!known) {
                return Reply::text("");
            }
            return Reply::text("{\"" + code + "_Corvo\":{\"snapshot\":\"" + code + "\"}}");
        }
        return Reply::text("0");
    }
};

// UTF-16 helpers for the ea_ family.
inline std::u16string u16(const std::string& text) {
    std::u16string wide;
    for (unsigned char const c : text) {
        wide.push_back(c);
    }
    return wide;
}

// The buffer read back up to its first zero unit, each unit narrowed to its low byte.
inline std::string readBack(const std::u16string& buffer) {
    std::string text;
    for (char16_t const unit : buffer) {
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<char>(unit & 0xFF));
    }
    return text;
}

}  // namespace corvo::testing
