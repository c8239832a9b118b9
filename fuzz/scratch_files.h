// Files for the fuzz targets whose readers take a path: one scratch
// directory per process, removed at exit, rewritten for every input.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "kv_test_support.h"

namespace vantric::fuzzing {

inline const std::filesystem::path& ScratchDirectory() {
    static const kvhost::TempDirectory directory;
    return directory.path();
}

// Replaces the file at `path` with `bytes`; aborts when it cannot, as no
// input could be checked.
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::abort();
}

}  // namespace vantric::fuzzing
