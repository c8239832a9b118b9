#include "os/linux/linux_messages.h"

#include "util/console.h"

namespace vantric {

void LinuxWarning(std::string_view text) { WarnLine(kLinuxComponent, text); }

}  // namespace vantric
