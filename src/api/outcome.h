// What a call to the API came to: its value, or a failure with its kind and a readable reason.
// The caller must look; nothing travels beside the result. Each export family turns an outcome
// into its own answer at its edge.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace corvo::api {

enum class FailureKind {
    exchange,   // nothing usable came back: transport error, deadline, cancellation, HTTP 5xx
    refused,    // the server said no: HTTP 4xx, or a refusal in its answer
    badAnswer,  // the server answered something the call cannot use
    notFound,   // the server knows nothing of what was asked
    local,      // the library's own side failed: a directory or file it needs
};

struct Failure {
    FailureKind kind;
    std::string reason;  // one line, never holding a secret
};

// The value of an outcome that has nothing to hand back.
struct Done {};

template <class T>
class Outcome {
  public:
    Outcome(T value) : state_(std::move(value)) {}            // NOLINT: implicit, like expected
    Outcome(Failure failure) : state_(std::move(failure)) {}  // NOLINT

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const Failure& failure() const { return std::get<1>(state_); }

  private:
    std::variant<T, Failure> state_;
};

}  // namespace corvo::api
