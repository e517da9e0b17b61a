// Replays a fuzz target without libFuzzer: every file of the seed corpus
// folders given on the command line, then a fixed number of generated inputs
// (random bytes and mutations of the seeds). A crash or sanitizer report
// fails the run; the exit code is 0 otherwise.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!std::filesystem::is_directory(argv[i], error))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream file(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>());
        }
    }
    for (const auto& seed : seeds)
        LLVMFuzzerTestOneInput(seed.data(), seed.size());

    std::mt19937 random(20261211);
    std::vector<uint8_t> input;
    const int runs = 5000;
    for (int run = 0; run < runs; ++run) {
        if (!seeds.empty() && run % 2 == 0) {
            input = seeds[random() % seeds.size()];
            const int flips = 1 + int(random() % 8);
            for (int f = 0; f < flips && !input.empty(); ++f) {
                input[random() % input.size()] = uint8_t(random());
            }
            if (random() % 4 == 0 && !input.empty())
                input.resize(random() % input.size());
        } else {
            input.resize(random() % 512);
            for (auto& byte : input)
                byte = uint8_t(random());
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu seeds and %d generated inputs ran\n", seeds.size(), runs);
    return 0;
}
