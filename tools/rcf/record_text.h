// One line of text per frame header and per record, for `rcf dump`.
#pragma once

#include <string>

#include "rcf/capture_records.h"

namespace vantric::rcf {

// "0000000001 frame backtrace core=0 length=123" ("length=open" when unclosed).
std::string FrameHeaderText(const Frame& frame);

// "0000000001 +6 sample time=100 cookie=8 pid=1 tid=2 frames=8:0x400000,9:0x10".
// Texts are quoted with C escapes for control characters, quote and backslash.
std::string RecordText(const Frame& frame, const Record& record);

}  // namespace vantric::rcf
