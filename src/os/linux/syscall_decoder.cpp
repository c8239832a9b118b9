#include "os/linux/syscall_decoder.h"

#include <vector>

#include "os/target_access.h"

namespace vantric {

void SyscallDecoder::AppendString(std::string& text, uint64_t address) const {
    std::string bytes;
    for (uint32_t i = 0; i < kMaxLength; ++i) {
        uint8_t byte = 0;
        if (!TargetAccess::ReadBytes(debug_, memorySpace_, address + i, 1, &byte)) break;
        if (byte == 0) {
            text += '"';
            text += bytes;
            text += '"';
            return;
        }
        bytes.push_back(static_cast<char>(byte));
    }
    text += "UNKNOWN";
}

void SyscallDecoder::AppendStringArray(std::string& text, uint64_t address) const {
    std::vector<uint64_t> pointers;
    for (uint32_t i = 0; i < kMaxLength; ++i) {
        uint8_t bytes[8] = {};
        if (!TargetAccess::ReadBytes(debug_, memorySpace_, address + 8 * i, 8, bytes)) break;
        uint64_t pointer = 0;
        for (int b = 7; b >= 0; --b) pointer = pointer << 8 | bytes[b];
        if (pointer == 0) {
            text += '[';
            for (size_t p = 0; p < pointers.size(); ++p) {
                if (p != 0) text += ", ";
                AppendString(text, pointers[p]);
            }
            text += ']';
            return;
        }
        pointers.push_back(pointer);
    }
    text += "UNKNOWN";
}

std::string SyscallDecoder::Openat(const Arguments& args) const {
    const auto dirFd = static_cast<int32_t>(static_cast<uint32_t>(args[0]));
    const auto flags = static_cast<int32_t>(static_cast<uint32_t>(args[2]));
    const auto mode = static_cast<int16_t>(static_cast<uint16_t>(args[3]));
    std::string text = "openat(" + std::to_string(dirFd) + ", ";
    AppendString(text, args[1]);
    text += ", " + std::to_string(flags) + ", " + std::to_string(mode) + ")";
    return text;
}

std::string SyscallDecoder::Execve(const Arguments& args) const {
    std::string text = "execve(";
    AppendString(text, args[0]);
    text += ", ";
    AppendStringArray(text, args[1]);
    text += ", ";
    AppendStringArray(text, args[2]);
    text += ")";
    return text;
}

}  // namespace vantric
