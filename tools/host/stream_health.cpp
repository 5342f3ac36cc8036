#include "stream_health.h"

#include <cmath>
#include <cstdio>

#include "c_calls.h"

namespace corvo::host {
namespace {

std::uint64_t count(const Json& status, const char* name) {
    auto const found = status.find(name);
    return found != status.end() && found->is_number() ? found->get<std::uint64_t>() : 0;
}

std::string ageText(const Json& status) {
    auto const age = status.find("last_message_age_ms");
    if (age == status.end() || !age->is_number()) {
        return "no message yet";
    }
    double const ms = age->get<double>();
    char text[64];
    if (ms < 1000.0) {
        std::snprintf(text, sizeof text, "last message %.0f ms ago", ms);
    } else {
        std::snprintf(text, sizeof text, "last message %.1f s ago", ms / 1000.0);
    }
    return text;
}

}  // namespace

HealthSample HealthProbe::sample() {
    HealthSample sample;
    Json parsed = Json::parse(readStatus(exports_), nullptr, false);
    sample.status = parsed.is_object() ? std::move(parsed) : Json::object();
    auto const now = Clock::now();
    std::uint64_t const messages = count(sample.status, "messages");
    if (previousAt_) {
        std::chrono::duration<double> const elapsed = now - *previousAt_;
        // A new session restarts the count; a rate from that would be meaningless.
        if (elapsed.count() > 0.0 && messages >= previousMessages_) {
            sample.messagesPerSecond =
                static_cast<double>(messages - previousMessages_) / elapsed.count();
        }
    }
    previousAt_ = now;
    previousMessages_ = messages;
    return sample;
}

std::string healthLine(const HealthSample& sample) {
    const Json& status = sample.status;
    bool const connected = status.value("connected", false);
    std::uint64_t const connects = count(status, "connects");
    std::string const endpoint = status.value("endpoint", std::string());
    std::string line = "stream" + (endpoint.empty() ? std::string() : " " + endpoint) + ": " +
                       (connected ? "connected" : "NOT CONNECTED");
    if (sample.messagesPerSecond) {
        char rate[48];
        std::snprintf(rate, sizeof rate, "  %.1f msg/s", *sample.messagesPerSecond);
        line += rate;
    }
    line += "  " + ageText(status);
    // The first connect is the session's own; every later one follows a loss.
    line += "  reconnects " + std::to_string(connects > 0 ? connects - 1 : 0);
    std::uint64_t const dropped = count(status, "dropped");
    if (dropped > 0) {
        line += "  dropped " + std::to_string(dropped);
    }
    std::string const state = status.value("state", std::string());
    if (state != "running") {
        line += "  (session " + state + ")";
    }
    return line;
}

Json healthRecord(const HealthSample& sample) {
    Json health = sample.status;
    // Tenths, as the live table shows it: the digits beyond are noise of the sampling moment.
    health["messages_per_second"] = sample.messagesPerSecond
                                        ? Json(std::round(*sample.messagesPerSecond * 10.0) / 10.0)
                                        : Json(nullptr);
    return {{"health", health}};
}

}  // namespace corvo::host
