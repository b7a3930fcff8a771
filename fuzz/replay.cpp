// Runs a harness over kept inputs as the fuzzer would, without libFuzzer:
// every file named, and every file in every folder named, once each, in
// order of name. An input that takes longer than --max-ms on each of three
// tries (a busy machine may stall one; a slow input is slow every time), or
// whose first try raises the process's peak memory by more than
// --max-growth-mb, fails its row; one that breaks a promise aborts, as it
// would under the fuzzer.
//
//   replay_<harness> [--max-ms N] [--max-growth-mb N] PATH...

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
// Ends what LLVMFuzzerInitialize began, before the program's statics go.
extern "C" __attribute__((weak)) void glimraFuzzerCleanup();

namespace
{

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<std::filesystem::path> inputs(const std::vector<std::string>& paths)
{
    std::vector<std::filesystem::path> files;
    for (const std::string& path : paths) {
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

double run(const std::vector<char>& bytes)
{
    const auto start = std::chrono::steady_clock::now();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    double maxMs = 1000;
    long maxGrowthKiB = 1024 * 1024;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--max-ms" && i + 1 < argc)
            maxMs = std::atof(argv[++i]);
        else if (arg == "--max-growth-mb" && i + 1 < argc)
            maxGrowthKiB = std::atol(argv[++i]) * 1024;
        else
            paths.push_back(arg);
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    const std::vector<std::filesystem::path> files = inputs(paths);
    if (files.empty()) {
        std::fprintf(stderr, "replay: no input\n");
        return 1;
    }
    int passed = 0, failed = 0;
    for (const std::filesystem::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
        const long peak = peakKiB();
        double ms = run(bytes);
        const long growth = peakKiB() - peak;
        for (int tries = 1; tries < 3 && ms > maxMs; ++tries)
            ms = std::min(ms, run(bytes));
        if (ms > maxMs || growth > maxGrowthKiB) {
            std::printf("FAIL %s: %.0f ms, peak memory +%ld KiB\n", file.c_str(), ms, growth);
            ++failed;
        } else {
            ++passed;
        }
    }
    std::printf("replay: %d passed, %d failed\n", passed, failed);
    if (glimraFuzzerCleanup)
        glimraFuzzerCleanup();
    return failed ? 1 : 0;
}
