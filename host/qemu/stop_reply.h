// A stop reply of the gdb remote protocol: "T05thread:02;..." (the vCPU
// that stopped and why), "S05", "W00" (the target exited) or "X09"
// (terminated by a signal). Thread ids may come as "p1.2" when the stub
// speaks the multiprocess dialect.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qemuhost {

struct StopReply {
    enum class Kind { kStopped, kExited, kTerminated };
    static constexpr int kTrap = 5;
    static constexpr int kInterrupt = 2;

    Kind kind = Kind::kStopped;
    int signal = 0;      // or the exit status
    uint32_t thread = 0; // 0 when the reply names none

    // nullopt for anything that is not a stop reply ("OK", "E01", console output).
    static std::optional<StopReply> Parse(std::string_view text);
};

}  // namespace qemuhost
