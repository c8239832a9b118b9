// One decoded system call on its way to the capture: a record first fetches
// the target data it needs (strings, pointer arrays), then formats one line
// in the style of a system-call trace and sends it as an annotation of the
// calling thread. A part that could not be read prints as UNKNOWN.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "boundary/host_abi.h"
#include "os/linux/target_readers.h"

namespace vantric {

class CaptureWriter;

struct SyscallContext {
    CaptureWriter* capture = nullptr;
    uint32_t memorySpace = 0;
    std::array<uint64_t, 6> args{};
    uint64_t time = 0;
    uint32_t core = 0;
    plexa::SQOVI2* debug = nullptr;
    uint32_t threadId = 0;
    uint32_t maxLength = 100;
};

class SyscallBase {
public:
    // How many times Emit may find a part incomplete before printing UNKNOWN.
    static constexpr uint32_t kRetryLimit = 1;
    static constexpr uint32_t kMaxLength = 100;

    explicit SyscallBase(const SyscallContext& context);
    virtual ~SyscallBase();
    SyscallBase(const SyscallBase&) = delete;
    SyscallBase& operator=(const SyscallBase&) = delete;

    // Reads what the record still lacks; true when every part is complete.
    virtual bool Fetch() = 0;
    // Formats and sends the text; false keeps the record queued for a retry.
    virtual bool Emit() = 0;

    uint32_t attempts() const { return attempts_; }

protected:
    TargetStringReader StringAt(uint64_t address) const;
    TargetPointerArrayReader ArrayAt(uint64_t address) const;
    // Appends the string in double quotes, or UNKNOWN once out of retries;
    // false means "not yet: keep the record".
    bool AppendString(std::string& text, const TargetStringReader& reader);
    bool AppendArray(std::string& text, const TargetPointerArrayReader& array,
                     const std::vector<TargetStringReader>& strings);
    void Send(const std::string& text);

    CaptureWriter* capture_;
    uint32_t memorySpace_;
    std::array<uint64_t, 6> args_;
    uint64_t time_;
    uint32_t core_;
    plexa::SQOVI2* debug_;
    uint32_t attempts_ = 0;
    uint32_t maxLength_;
    uint32_t threadId_;

private:
    bool OutOfRetries() { return ++attempts_ >= kRetryLimit; }
};

// openat(dirfd, path, flags, mode)
class OpenatSyscall final : public SyscallBase {
public:
    explicit OpenatSyscall(const SyscallContext& context);
    bool Fetch() override;
    bool Emit() override;

private:
    int32_t dirFd_;
    int32_t flags_;
    int16_t mode_;
    TargetStringReader path_;
};

// execve(filename, argv, envp)
class ExecveSyscall final : public SyscallBase {
public:
    explicit ExecveSyscall(const SyscallContext& context);
    bool Fetch() override;
    bool Emit() override;

private:
    TargetStringReader filename_;
    TargetPointerArrayReader argv_;
    TargetPointerArrayReader envp_;
    std::vector<TargetStringReader> argvStrings_;
    std::vector<TargetStringReader> envpStrings_;
};

// Any other call, with its six raw arguments.
class OtherSyscall final : public SyscallBase {
public:
    explicit OtherSyscall(const SyscallContext& context) : SyscallBase(context) {}
    bool Fetch() override { return true; }
    bool Emit() override;
};

}  // namespace vantric
