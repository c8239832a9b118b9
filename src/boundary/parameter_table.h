// The ten parameters the host shows its user, as the binary records the
// host copies out of the factory.
#pragma once

#include <array>
#include <cstdint>

#include "boundary/host_abi.h"

namespace vantric {

inline constexpr uint32_t kParameterCount = 10;

// Parameter ids, equal to each record's index in the table.
enum ParameterId : uint32_t {
    kOutputDirectory = 0,
    kTimeBase = 1,
    kRcfCapture = 2,
    kTraceCompile = 3,
    kCountersConfigFile = 4,
    kTraceStartTime = 5,
    kTraceEndTime = 6,
    kConfig = 7,
    kDiscoveryMode = 8,
    kCounterDefaultsJson = 9,
};

using ParameterTable = std::array<ZVT::v0::ParameterInfo, kParameterCount>;

// Built once, on first use; never modified afterwards.
const ParameterTable& GetParameterTable();

}  // namespace vantric
