// The command line of corvo-host: session options and the actions to run in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvo::host {

// c: the corvo_ functions of corvo.h; cs and ea: the two older export families.
enum class Family { c, cs, ea };

enum class ActionKind {
    subscribe,
    unsubscribe,
    watch,
    refresh,
    symbol,
    top20,
    query,
    files,
    speed,
    test,
    stop,
    status
};

struct Action {
    ActionKind kind = ActionKind::refresh;
    std::string word;      // the query name, or the file set ("all" when none is given)
    std::string argument;  // the code, code list or feedback message
    double seconds = 0.0;  // watch only
};

struct Options {
    bool help = false;
    std::string library;
    Family family = Family::c;
    std::string key = "demo-key";
    std::int32_t login = 1001;
    std::string server = "127.0.0.1";
    std::string apiPort = "8080";
    std::vector<Action> actions;
};

// Throws UsageError for an unknown option or action, a missing or malformed value.
Options parseCommandLine(int argc, const char* const* argv);

// The action as the command line spells it, e.g. "query iaa AAA", to say what a failure was
// about.
std::string describe(const Action& action);

// The one-line synopsis printed with a usage error.
std::string usageSynopsis();

// The full --help text: every option and action.
std::string helpText();

}  // namespace corvo::host
