// speedscope's JSON file format: a sampled profile per thread (stacks root
// first, in time order, the time a thread did not run as an "(idle)" frame)
// and an evented profile per core for the function calls.
#pragma once

#include <string>

#include "rcf/profile/output_stream.h"
#include "rcf/profile/profile.h"

namespace vantric::rcf {

void WriteSpeedscope(const Profile& profile, const std::string& name, OutputStream& out);

}  // namespace vantric::rcf
