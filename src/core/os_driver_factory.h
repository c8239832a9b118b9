// Creates the OS driver of a subsystem from its kernel type.
#pragma once

#include <cstdint>
#include <memory>

namespace vq {
class JSONValue;
}

namespace vantric {

class CaptureWriter;
class CounterSet;
class OSDriver;

// Null for a kernel type without a driver. A driver that cannot read its
// settings throws VantricExceptionT.
std::unique_ptr<OSDriver> CreateOSDriver(uint32_t kernelType, CounterSet& counters,
                                         CaptureWriter& capture, uint32_t callstackDepth,
                                         const vq::JSONValue& configuration);

}  // namespace vantric
