// The target's extended-feature text: a NUL-terminated list of "NAME=value"
// entries separated by ":", held in a register that is read in 16-byte
// chunks. Drivers learn target facts from it that no register name gives,
// such as the register holding the PC's memory space.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "boundary/host_abi.h"

namespace vantric {

class ExtendedFeatures {
public:
    // The whole text; empty (with an error line) when the host fails.
    static std::string Read(plexa::SQOVI2* debug);
    // Value of one feature: -2 when the name is absent (reported when
    // `verbose`), -1 when it is not followed by "=", 0 when the value does not parse.
    static int32_t Value(plexa::SQOVI2* debug, std::string_view name, bool verbose);
};

}  // namespace vantric
