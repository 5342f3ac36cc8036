#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "host_errors.h"

namespace corvo::host {
namespace {

// A cursor over the command-line words after the program name.
class Words {
  public:
    Words(int argc, const char* const* argv) : items_(argv + 1, argv + argc) {}
    bool done() const { return at_ >= items_.size(); }
    const std::string& peek() const { return items_[at_]; }
    std::string take() { return items_[at_++]; }
    std::string takeFor(const std::string& what) {
        if (done()) {
            throw UsageError(what + " needs a value");
        }
        return take();
    }

  private:
    std::vector<std::string> items_;
    std::size_t at_ = 0;
};

std::int32_t parseLogin(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long const value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        throw UsageError("--login wants a 32-bit integer, not \"" + text + "\"");
    }
    return static_cast<std::int32_t>(value);
}

std::string parsePort(const std::string& text) {
    bool const digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(text) < 1 || std::stoi(text) > 65535) {
        throw UsageError("--api-port wants a port number 1-65535, not \"" + text + "\"");
    }
    return text;
}

double parseSeconds(const std::string& text) {
    char* end = nullptr;
    double const value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
        throw UsageError("watch wants a positive number of seconds, not \"" + text + "\"");
    }
    return value;
}

Family parseFamily(const std::string& text) {
    if (text == "c") {
        return Family::c;
    }
    if (text == "cs") {
        return Family::cs;
    }
    if (text == "ea") {
        return Family::ea;
    }
    throw UsageError("--family wants c, cs or ea, not \"" + text + "\"");
}

// Applies the option at the cursor; both "--name VALUE" and "--name=VALUE" are accepted.
void parseOption(Words& words, Options& options) {
    std::string name = words.take();
    std::string value;
    bool const inlineValue = name.find('=') != std::string::npos;
    if (inlineValue) {
        value = name.substr(name.find('=') + 1);
        name.erase(name.find('='));
    }
    auto const valueOf = [&] { return inlineValue ? value : words.takeFor(name); };
    if (name == "--help" || name == "-h") {
        options.help = true;
    } else if (name == "--library") {
        options.library = valueOf();
    } else if (name == "--family") {
        options.family = parseFamily(valueOf());
    } else if (name == "--key") {
        options.key = valueOf();
    } else if (name == "--login") {
        options.login = parseLogin(valueOf());
    } else if (name == "--server") {
        options.server = valueOf();
    } else if (name == "--api-port") {
        options.apiPort = parsePort(valueOf());
    } else {
        throw UsageError("unknown option " + name);
    }
}

// What an action takes after its name.
enum class Takes { nothing, argument, seconds, query, fileSet };

struct ActionName {
    const char* name;
    ActionKind kind;
    Takes takes;
};

constexpr ActionName kActions[] = {{"subscribe", ActionKind::subscribe, Takes::argument},
                                   {"unsubscribe", ActionKind::unsubscribe, Takes::argument},
                                   {"watch", ActionKind::watch, Takes::seconds},
                                   {"refresh", ActionKind::refresh, Takes::nothing},
                                   {"symbol", ActionKind::symbol, Takes::argument},
                                   {"top20", ActionKind::top20, Takes::nothing},
                                   {"query", ActionKind::query, Takes::query},
                                   {"files", ActionKind::files, Takes::fileSet},
                                   {"speed", ActionKind::speed, Takes::nothing},
                                   {"test", ActionKind::test, Takes::nothing},
                                   {"stop", ActionKind::stop, Takes::nothing},
                                   {"status", ActionKind::status, Takes::nothing}};

struct QueryName {
    const char* name;
    const char* argument;  // null when the query takes none
};

constexpr QueryName kQueries[] = {{"fundamental", "CODE"}, {"fundamental-all", nullptr},
                                  {"iaa", "CODE"},         {"iaa-all", nullptr},
                                  {"key-stats", nullptr},  {"volume", "CODE"},
                                  {"feedback", "MESSAGE"}};

std::string queryList() {
    std::string list;
    for (const QueryName& query : kQueries) {
        list += (list.empty() ? "" : ", ") + std::string(query.name) +
                (query.argument ? std::string(" ") + query.argument : "");
    }
    return list;
}

Action parseQuery(Words& words) {
    if (words.done()) {
        throw UsageError("query needs a name: " + queryList());
    }
    Action action{ActionKind::query, words.take(), {}, 0.0};
    for (const QueryName& query : kQueries) {
        if (action.word == query.name) {
            if (query.argument != nullptr) {
                action.argument = words.takeFor("query " + action.word);
            }
            return action;
        }
    }
    throw UsageError("unknown query \"" + action.word + "\"; the queries are " + queryList());
}

Action parseFiles(Words& words) {
    Action action{ActionKind::files, "all", {}, 0.0};
    if (!words.done()) {
        std::string const next = words.peek();
        if (next == "fundamental" || next == "iaa" || next == "volume" || next == "all") {
            action.word = words.take();
        }
    }
    return action;
}

Action parseAction(Words& words) {
    std::string const name = words.take();
    for (const ActionName& known : kActions) {
        if (name != known.name) {
            continue;
        }
        switch (known.takes) {
            case Takes::argument:
                return Action{known.kind, {}, words.takeFor(name), 0.0};
            case Takes::seconds:
                return Action{known.kind, {}, {}, parseSeconds(words.takeFor(name))};
            case Takes::query:
                return parseQuery(words);
            case Takes::fileSet:
                return parseFiles(words);
            case Takes::nothing:
                break;
        }
        return Action{known.kind, {}, {}, 0.0};
    }
    throw UsageError("unknown action \"" + name + "\"");
}

}  // namespace

Options parseCommandLine(int argc, const char* const* argv) {
    Options options;
    Words words(argc, argv);
    while (!words.done()) {
        if (words.peek().rfind("-", 0) == 0) {
            parseOption(words, options);
        } else {
            options.actions.push_back(parseAction(words));
        }
    }
    if (!options.help && options.library.empty()) {
        throw UsageError("--library PATH is required");
    }
    return options;
}

std::string describe(const Action& action) {
    // Every kind has its name in the table.
    std::string text =
        std::find_if(std::begin(kActions), std::end(kActions), [&](const ActionName& known) {
            return known.kind == action.kind;
        })->name;
    for (const std::string& part : {action.word, action.argument}) {
        if (!part.empty()) {
            text += " " + part;
        }
    }
    return text;
}

std::string usageSynopsis() {
    return "usage: corvo-host --library PATH [--family c|cs|ea] [--key TEXT] [--login N]\n"
           "                  [--server HOST] [--api-port PORT] [ACTION ...]\n"
           "run corvo-host --help for the options and actions\n";
}

}  // namespace corvo::host
