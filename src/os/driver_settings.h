// Reading the keys of a subsystem settings object without changing it.
#pragma once

#include <string_view>

#include "json/json_value.h"

namespace vantric {

// The member `key` of the settings object, or a null value when it is
// absent, so that the accessor that follows fails with the usual "tried to
// access value of type null as ..." message. Throws vq::JSONValue::WrongType
// when `settings` is not an object.
const vq::JSONValue& SettingsMember(const vq::JSONValue& settings, std::string_view key);

}  // namespace vantric
