// Runs a fuzz target without libFuzzer: every file of the seed corpus, then a fixed number of
// inputs mutated from them with a fixed seed, so the targets stay alive in the test command.
// CORVO_FUZZ_RUNS sets the number of generated inputs (default 2000).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::string> readCorpus(const std::filesystem::path& directory) {
    std::vector<std::string> inputs;
    if (!std::filesystem::is_directory(directory)) {
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        std::ifstream file(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return inputs;
}

std::string mutate(std::string input, std::mt19937_64& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    int const edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
        std::size_t const at = input.empty() ? 0 : random() % (input.size() + 1);
        switch (random() % 4) {
            case 0:
                input.insert(at, 1, static_cast<char>(byte(random)));
                break;
            case 1:
                if (at < input.size())
                    input.erase(at, 1 + random() % 4);
                break;
            case 2:
                if (at < input.size())
                    input[at] = static_cast<char>(byte(random));
                break;
            default:
                input.insert(at, input.substr(0, random() % (input.size() + 1)));
                break;
        }
    }
    return input;
}

void run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> corpus;
    for (int i = 1; i < argc; ++i) {
        auto more = readCorpus(argv[i]);
        corpus.insert(corpus.end(), more.begin(), more.end());
    }
    if (corpus.empty()) {
        corpus.emplace_back();
    }
    for (const auto& input : corpus) {
        run(input);
    }
    const char* configured = std::getenv("CORVO_FUZZ_RUNS");
    long const runs = configured ? std::atol(configured) : 2000;
    std::mt19937_64 random(20261208);
    for (long i = 0; i < runs; ++i) {
        run(mutate(corpus[random() % corpus.size()], random));
    }
    std::cout << argv[0] << ": " << corpus.size() << " seeds and " << runs
              << " generated inputs passed\n";
    return 0;
}
