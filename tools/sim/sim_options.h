// Command-line options of corvo-sim.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace corvo::sim {

struct SimOptions {
    std::uint16_t apiPort = 0;
    std::uint16_t streamPort = 0;
    std::uint64_t seed = 42;
    std::size_t instruments = 50;
    double rate = 200.0;  // stream messages per second
    int top20IntervalMs = 2000;
    std::map<std::string, std::int32_t> accounts;
    std::string curveSecret;
    std::array<std::uint8_t, 16> aesKey{};
    std::array<std::uint8_t, 16> aesIv{};
    std::string clientSecret;
    std::int32_t dayKeyOffset = 0;
    std::string portsFile;
    bool quiet = false;
};

// Parses argv; prints usage or an error and answers the exit status when the program should
// end here (0 for --help).
std::optional<int> parseOptions(int argc, char** argv, SimOptions& options);

}  // namespace corvo::sim
