// Decodes the bytes of one capture data file into a Frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rcf/capture_records.h"

namespace vantric::rcf {

// Problems are appended to `diagnostics`: a frame whose length is still
// 0xFFFFFFFF gets one warning and is read as far as its complete records
// go; everything else wrong (length mismatch, unknown frame type or record,
// a record cut short in a closed frame, a value too wide for its 32-bit
// field) is an error naming the file and offset.
Frame DecodeFrame(const std::string& fileName, const std::vector<uint8_t>& bytes,
                  std::vector<Diagnostic>& diagnostics);

}  // namespace vantric::rcf
