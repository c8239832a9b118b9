// Runs a fuzz target's entry point once on each file named on the command
// line, or on each file of a named directory, so that a corpus is an
// ordinary test in every build, with or without libFuzzer. A target reports
// a broken property by aborting; this program fails when it ran nothing, so
// a misplaced corpus cannot pass unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The regular files a command-line argument names, sorted so that every run
// replays in the same order. Directories are not descended into.
bool CollectInputs(const std::filesystem::path& argument,
                   std::vector<std::filesystem::path>& inputs) {
    std::error_code error;
    if (!std::filesystem::is_directory(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    std::vector<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(argument, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) found.push_back(it->path());
    }
    if (error) {
        std::fprintf(stderr, "cannot list %s: %s\n", argument.c_str(), error.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!CollectInputs(argv[i], inputs)) return 1;
    }
    size_t ran = 0;
    std::vector<uint8_t> bytes;
    for (const std::filesystem::path& input : inputs) {
        if (!ReadBytes(input, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        std::fprintf(stderr, "running %s (%zu bytes)\n", input.c_str(), bytes.size());
        // Never a null pointer, even for an empty input, as under libFuzzer.
        const uint8_t none = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
        ++ran;
    }
    std::printf("%s: ran %zu inputs\n", argv[0], ran);
    return ran == 0 ? 1 : 0;
}
