// Text conversions every exporter shares: names made safe for each format,
// nanoseconds as exact microsecond text, and a location's display name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rcf/profile/profile.h"

namespace vantric::rcf {

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// `text` as a JSON string literal, quotes included; valid UTF-8 out whatever comes in.
void AppendJsonString(std::string& out, std::string_view text);

// Nanoseconds as microseconds with exactly three decimals: 1000 -> "1.000".
std::string MicrosText(uint64_t nanoseconds);

// A name for a folded-stacks line: no ';', no line ends, valid UTF-8.
std::string FoldedName(std::string_view name);

// The function, or "<module>+0x<address>" for a location without one.
std::string LocationName(const Location& location);

}  // namespace vantric::rcf

namespace vantric::rcf {

// "frames 120, resolved 100, unresolved 20: 15 no file under the sysroot, 5 ..."
// followed by one line per file missing under the sysroot.
std::string SymbolReportText(const SymbolReport& report);

}  // namespace vantric::rcf
