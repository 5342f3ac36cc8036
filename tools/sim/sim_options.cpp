#include "sim/sim_options.h"

#include <iostream>
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
  --instruments N         number of instruments AAA, AAB, ... (default 50)
  --rate N                stream messages per second (default 200)
  --top20-interval-ms N   pause between Top20 rankings (default 2000)
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

std::array<std::uint8_t, 16> parseHex(const std::string& text) {
    if (text.size() != 32 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        throw std::invalid_argument("expected 32 hexadecimal digits, got \"" + text + "\"");
    }
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < 16; ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

std::uint16_t parsePort(const std::string& text) {
    unsigned long const port = std::stoul(text);
    if (port > 65535) {
        throw std::out_of_range("port out of range: " + text);
    }
    return static_cast<std::uint16_t>(port);
}

void addAccount(const std::string& text, SimOptions& options) {
    auto const colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw std::invalid_argument("expected KEY:LOGIN, got \"" + text + "\"");
    }
    options.accounts[text.substr(0, colon)] = std::stoi(text.substr(colon + 1));
}

void apply(const std::string& name, const std::string& value, SimOptions& options) {
    if (name == "--api-port")
        options.apiPort = parsePort(value);
    else if (name == "--stream-port")
        options.streamPort = parsePort(value);
    else if (name == "--seed")
        options.seed = std::stoull(value);
    else if (name == "--instruments")
        options.instruments = std::stoul(value);
    else if (name == "--rate")
        options.rate = std::stod(value);
    else if (name == "--top20-interval-ms")
        options.top20IntervalMs = std::stoi(value);
    else if (name == "--account")
        addAccount(value, options);
    else if (name == "--curve-secret")
        options.curveSecret = value;
    else if (name == "--aes-key")
        options.aesKey = parseHex(value);
    else if (name == "--aes-iv")
        options.aesIv = parseHex(value);
    else if (name == "--client-secret")
        options.clientSecret = value;
    else if (name == "--day-key-offset")
        options.dayKeyOffset = std::stoi(value);
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
            if (i + 1 == args.size()) {
                throw std::invalid_argument(args[i] + " needs a value");
            }
            apply(args[i], args[i + 1], options);
            ++i;
        }
        if (options.instruments == 0 || options.rate <= 0 || options.top20IntervalMs <= 0) {
            throw std::invalid_argument("instruments, rate and interval must be positive");
        }
    } catch (const std::exception& error) {
        std::cerr << "corvo-sim: " << error.what() << "\n\n" << kUsage;
        return 2;
    }
    if (options.accounts.empty()) {
        options.accounts["demo-key"] = 1001;
    }
    return std::nullopt;
}

}  // namespace corvo::sim
