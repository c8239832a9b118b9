// The small capture every exporter test reads: two cores, kernel, user and
// anonymous frames, switches and idle, counters, annotations at 2^53 ns,
// nested function calls with equal times, and names that need escaping.
#pragma once

#include <filesystem>
#include <string>

#include "rcf/profile/profile.h"

namespace vantric::rcf::testing {

inline constexpr uint64_t kLastTime = uint64_t{1} << 53;

// Kernel symbols: "odd;name\xFF" 0xffff0000, kfunc_b 0xffff0100, data at 0xffff0200.
std::string FixtureSystemMap();
void WriteFixtureCapture(const std::filesystem::path& directory);
// Reads it through ProfileBuilder with FixtureSystemMap and no sysroot.
Profile FixtureProfile(const std::filesystem::path& directory);

}  // namespace vantric::rcf::testing
