// Trace Event JSON for trace viewers: a track per core with what ran on it
// (thread or idle), a track per core with the function calls, annotations
// as instant events on their thread, counters as counter events. Samples
// have no place in this format.
#pragma once

#include <cstdint>

#include "rcf/profile/output_stream.h"
#include "rcf/profile/profile.h"

namespace vantric::rcf {

// Synthetic process ids, above any Linux pid (at most 2^22).
inline constexpr uint32_t kChromeCoresPid = 0x40000000;
inline constexpr uint32_t kChromeFunctionsPid = 0x40000001;
inline constexpr uint32_t kChromeCountersPid = 0x40000002;
inline constexpr uint32_t kChromeKernelPid = 0x40000003;  // stands for pid 0
inline constexpr uint32_t kChromeIdleTid = 0x40000100;    // + core, stands for tid 0

void WriteChromeTrace(const Profile& profile, OutputStream& out);

}  // namespace vantric::rcf
