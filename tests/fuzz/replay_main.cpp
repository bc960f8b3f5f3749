// Replays every file of the given folders (or the given files) through a fuzz target, so the seeds and
// every crash once found run in the ordinary test suite.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static int runFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", p.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char** argv) {
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const auto& e : fs::recursive_directory_iterator(p))
                if (e.is_regular_file()) {
                    failures += runFile(e.path());
                    ++files;
                }
        } else {
            failures += runFile(p);
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    if (files == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
