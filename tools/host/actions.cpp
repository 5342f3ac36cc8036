#include "actions.h"

#include <cstdio>

#include "c_calls.h"
#include "file_listing.h"
#include "host_errors.h"
#include "watch.h"

namespace corvo::host {

ActionRunner::ActionRunner(const Library& library, const Options& options, const Output& output)
    : library_(library),
      options_(options),
      output_(output),
      session_(library.exports(), options),
      stream_(library.exports(), options.family),
      queries_(library.exports(), options.family, options.login) {}

void ActionRunner::run(const Action& action) {
    try {
        dispatch(action);
    } catch (const HostError& error) {
        // The action as typed names the instrument, the query or the file set it was about.
        throw HostError(describe(action) + ": " + error.what());
    }
}

void ActionRunner::dispatch(const Action& action) {
    switch (action.kind) {
        case ActionKind::speed:
            return speed();
        case ActionKind::test:
            return test();
        case ActionKind::stop:
            return session_.stop();
        case ActionKind::status:
            // No session is started for it: "never started" is an answer too.
            return output_.answer(readStatus(library_.exports()));
        case ActionKind::files:
            session_.ensureStarted();
            return runFileExports(library_, action.word, options_.family, output_);
        case ActionKind::query: {
            session_.ensureStarted();
            auto const answer = queries_.run(action.word, action.argument);
            if (!answer) {
                return output_.note("feedback sent", {{"feedback", "sent"}});
            }
            return output_.answer(*answer);
        }
        default:
            session_.ensureStarted();
            return runStreaming(action);
    }
}

void ActionRunner::runStreaming(const Action& action) {
    switch (action.kind) {
        case ActionKind::subscribe:
            return output_.answer(stream_.subscribe(action.argument));
        case ActionKind::unsubscribe:
            stream_.unsubscribe(action.argument);
            return output_.note("unsubscribed " + action.argument,
                                {{"unsubscribed", action.argument}});
        case ActionKind::watch:
            if (watch(stream_, library_.exports(), output_, action.seconds) ==
                WatchEnd::interrupted) {
                throw Interrupted();
            }
            return;
        case ActionKind::refresh:
            // False only means nothing is new, which prints as an empty object.
            return output_.answer(stream_.refresh().value_or("{}"));
        case ActionKind::symbol:
            return output_.answer(stream_.symbol(action.argument));
        case ActionKind::top20:
            return output_.answer(stream_.top20());
        default:
            throw HostError("an action without a handler");
    }
}

void ActionRunner::speed() {
    const Exports& exports = library_.exports();
    auto const calculate = options_.family == Family::c    ? exports.corvo_calculate_speed
                           : options_.family == Family::cs ? exports.cs_CalculateSpeed
                                                           : exports.ea_CalculateSpeed;
    std::uint32_t integerSum = 0;
    double realSum = 0.0;
    std::uint32_t const milliseconds = calculate(&integerSum, &realSum);
    char line[160];
    std::snprintf(line, sizeof line, "speed: %u ms (integer sum %u, real sum %.17g)", milliseconds,
                  integerSum, realSum);
    output_.note(
        line,
        {{"speed",
          {{"milliseconds", milliseconds}, {"integer_sum", integerSum}, {"real_sum", realSum}}}});
}

void ActionRunner::test() {
    const Exports& exports = library_.exports();
    std::int32_t const answer = options_.family == Family::c    ? exports.corvo_test()
                                : options_.family == Family::cs ? exports.cs_Test()
                                                                : exports.ea_Test();
    output_.note("test: " + std::to_string(answer), {{"test", answer}});
}

}  // namespace corvo::host
