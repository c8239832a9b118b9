// The Linux driver's console texts, kept together so that tests and code
// agree on them byte for byte.
#pragma once

#include <string_view>

namespace vantric {

inline constexpr std::string_view kLinuxComponent = "Linux driver";

inline constexpr std::string_view kOffsetsWarning = "Unable to parse kernel struct offsets (p)";
inline constexpr std::string_view kSystemMapOpenWarning = "Unable to open system map file ";
inline constexpr std::string_view kBaseInitWarning = "Base driver init ";
inline constexpr std::string_view kPathEmptyWarning = "morlak: path is empty string\n";
inline constexpr std::string_view kPathTooLongWarning = "morlak: path is too long\n";
inline constexpr std::string_view kNoRoomForSlashWarning = "morlak: no room for slash\n";
inline constexpr std::string_view kParentIsSelfWarning = "morlak: parent is self\n";

// "WARN (Linux driver) " + text, a line end and a flush on standard error.
void LinuxWarning(std::string_view text);

}  // namespace vantric
