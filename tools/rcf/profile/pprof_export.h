// pprof's profile.proto, gzip-compressed by the caller's stream: one sample
// per thread, core and stack with its count and time, labelled with pid,
// tid, core and thread name; a mapping per file; locations leaf first.
#pragma once

#include <string>

#include "rcf/profile/profile.h"

namespace vantric::rcf {

// The encoded message, not yet compressed.
std::string EncodePprof(const Profile& profile);

}  // namespace vantric::rcf
