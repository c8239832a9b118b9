#include "os/driver_settings.h"

namespace vantric {

const vq::JSONValue& SettingsMember(const vq::JSONValue& settings, std::string_view key) {
    static const vq::JSONValue kAbsent;
    const vq::JSONValue::Object& members = settings.members();
    const auto found = members.find(key);
    return found == members.end() ? kAbsent : found->second;
}

}  // namespace vantric
