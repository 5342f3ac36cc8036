#include "sim/sim_options.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "corvo/build_constants.h"

namespace corvo::sim {
namespace {

constexpr char kUsage[] = R"(corvo-sim: a reference server for the library on loopback.

It plays both of the operator's services: the HTTP API (every target the library posts to,
bodies decrypted and credentials checked against the day key) and the CURVE-secured ZeroMQ
feed (per-instrument topics CODE_Corvo and a Top20 ranking), with data generated from a seed.

Usage: corvo-sim [options]
  --api-port N            HTTP API port on 127.0.0.1 (default 0: any free port)
  --stream-port N         ZeroMQ feed port on 127.0.0.1 (default 0: any free port)
  --seed N                seed of the generated market (default 42)
  --instruments N         number of instruments AAA, AAB, ... (1-17576, default 50)
  --rate N                stream messages per second (0.001-1000000, default 200)
  --top20-interval-ms N   pause between Top20 rankings (1-3600000, default 2000)
  --account KEY:LOGIN     an account the API accepts (repeatable; default demo-key:1001)
  --curve-secret Z85      the feed's CURVE secret key (default: the build's)
  --aes-key HEX           request cipher key, 32 hex digits (default: the build's)
  --aes-iv HEX            request cipher IV, 32 hex digits (default: the build's)
  --client-secret TEXT    the client secret (default: the build's)
  --day-key-offset N      seconds added before the day key is derived (default: the build's)
  --ports-file PATH       write "api=PORT stream=PORT" there once both listen
  --quiet                 do not log each request
  --help                  this text

It stops cleanly on SIGINT or SIGTERM.
)";

// A bad value: the message names the option, what it wants and what it got.
[[noreturn]] void refuse(const std::string& option, const std::string& wanted,
                         const std::string& value) {
    throw std::invalid_argument(option + " wants " + wanted + ", not \"" + value + "\"");
}

// The whole text as a number within [low, high]; nothing for anything else.
template <class Number>
std::optional<Number> within(const std::string& text, Number low, Number high) {
    Number parsed{};
    const char* const end = text.data() + text.size();
    auto const [stop, error] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || error != std::errc() || stop != end || !(parsed >= low) ||
        !(parsed <= high)) {
        return std::nullopt;
    }
    return parsed;
}

template <class Number>
Number number(const std::string& option, const std::string& value, Number low, Number high,
              const std::string& wanted) {
    auto const parsed = within(value, low, high);
    if (!parsed) {
        refuse(option, wanted, value);
    }
    return *parsed;
}

std::uint16_t port(const std::string& option, const std::string& value) {
    return number<std::uint16_t>(option, value, 0, 65535, "a port 0-65535 (0: any free port)");
}

std::array<std::uint8_t, 16> hexBytes(const std::string& option, const std::string& value) {
    if (value.size() != 32 ||
        value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        refuse(option, "32 hexadecimal digits", value);
    }
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < 16; ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::stoul(value.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

std::string curveSecret(const std::string& value) {
    static const std::string kZ85 =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.-:+=^!/*?&<>()[]{}@%$#";
    if (value.size() != 40 || value.find_first_not_of(kZ85) != std::string::npos) {
        refuse("--curve-secret", "a CURVE secret key of 40 Z85 characters", value);
    }
    return value;
}

void addAccount(const std::string& value, SimOptions& options) {
    auto const colon = value.rfind(':');
    auto const login = colon == std::string::npos
                           ? std::nullopt
                           : within<std::int32_t>(value.substr(colon + 1), INT32_MIN, INT32_MAX);
    if (colon == 0 || !login) {
        refuse("--account", "KEY:LOGIN with a 32-bit LOGIN", value);
    }
    options.accounts[value.substr(0, colon)] = *login;
}

// The bounds: three letters give 26^3 distinct codes; beyond a million messages a second the
// pause between them is below the feed's clock resolution, and a tiny rate would overflow it.
void apply(const std::string& name, const std::string& value, SimOptions& options) {
    if (name == "--api-port")
        options.apiPort = port(name, value);
    else if (name == "--stream-port")
        options.streamPort = port(name, value);
    else if (name == "--seed")
        options.seed = number<std::uint64_t>(name, value, 0, UINT64_MAX, "an unsigned 64-bit seed");
    else if (name == "--instruments")
        options.instruments = number<std::size_t>(name, value, 1, 17576, "a count 1-17576");
    else if (name == "--rate")
        options.rate =
            number<double>(name, value, 0.001, 1e6, "messages per second from 0.001 to 1000000");
    else if (name == "--top20-interval-ms")
        options.top20IntervalMs = number<int>(name, value, 1, 3600000, "milliseconds 1-3600000");
    else if (name == "--account")
        addAccount(value, options);
    else if (name == "--curve-secret")
        options.curveSecret = curveSecret(value);
    else if (name == "--aes-key")
        options.aesKey = hexBytes(name, value);
    else if (name == "--aes-iv")
        options.aesIv = hexBytes(name, value);
    else if (name == "--client-secret")
        options.clientSecret = value;
    else if (name == "--day-key-offset")
        options.dayKeyOffset =
            number<std::int32_t>(name, value, INT32_MIN, INT32_MAX, "signed 32-bit seconds");
    else if (name == "--ports-file")
        options.portsFile = value;
    else
        throw std::invalid_argument("unknown option " + name);
}

}  // namespace

std::optional<int> parseOptions(int argc, char** argv, SimOptions& options) {
    options.curveSecret = build::kCurveServerSecret;
    options.aesKey = build::kAesKey;
    options.aesIv = build::kAesIv;
    options.clientSecret = build::kClientSecret;
    options.dayKeyOffset = build::kDayKeyOffsetSeconds;
    std::vector<std::string> const args(argv + 1, argv + argc);
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--help") {
                std::cout << kUsage;
                return 0;
            }
            if (args[i] == "--quiet") {
                options.quiet = true;
                continue;
            }
            if (args[i].rfind("--", 0) != 0) {
                throw std::invalid_argument("unexpected argument \"" + args[i] + "\"");
            }
            if (i + 1 == args.size()) {
                throw std::invalid_argument(args[i] + " needs a value");
            }
            apply(args[i], args[i + 1], options);
            ++i;
        }
    } catch (const std::exception& error) {
        // One line and a pointer to the help: the whole help would bury the line.
        std::cerr << "corvo-sim: " << error.what() << "\nrun corvo-sim --help for the options\n";
        return 2;
    }
    if (options.accounts.empty()) {
        options.accounts["demo-key"] = 1001;
    }
    return std::nullopt;
}

}  // namespace corvo::sim
