// Folded stacks: one "root;...;leaf count" line per distinct stack, summed
// over every thread, the lines sorted.
#pragma once

#include "rcf/profile/output_stream.h"
#include "rcf/profile/profile.h"

namespace vantric::rcf {

void WriteFolded(const Profile& profile, OutputStream& out);

}  // namespace vantric::rcf
