#include "os/linux/syscall_records.h"

#include "capture/capture_writer.h"

namespace vantric {

SyscallBase::SyscallBase(const SyscallContext& context)
    : capture_(context.capture),
      memorySpace_(context.memorySpace),
      args_(context.args),
      time_(context.time),
      core_(context.core),
      debug_(context.debug),
      maxLength_(context.maxLength),
      threadId_(context.threadId) {}

SyscallBase::~SyscallBase() = default;

TargetStringReader SyscallBase::StringAt(uint64_t address) const {
    return TargetStringReader(debug_, memorySpace_, address, maxLength_);
}

TargetPointerArrayReader SyscallBase::ArrayAt(uint64_t address) const {
    return TargetPointerArrayReader(debug_, memorySpace_, address, maxLength_);
}

bool SyscallBase::AppendString(std::string& text, const TargetStringReader& reader) {
    if (reader.complete()) {
        text += '"';
        text += reader.bytes();
        text += '"';
        return true;
    }
    if (!OutOfRetries()) return false;
    text += "UNKNOWN";
    return true;
}

bool SyscallBase::AppendArray(std::string& text, const TargetPointerArrayReader& array,
                              const std::vector<TargetStringReader>& strings) {
    if (!array.complete()) {
        if (!OutOfRetries()) return false;
        text += "UNKNOWN";
        return true;
    }
    text += '[';
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i != 0) text += ", ";
        if (!AppendString(text, strings[i])) return false;
    }
    text += ']';
    return true;
}

void SyscallBase::Send(const std::string& text) {
    if (capture_ != nullptr) capture_->writeAnnotation(core_, threadId_, time_, text);
}

OpenatSyscall::OpenatSyscall(const SyscallContext& context)
    : SyscallBase(context),
      dirFd_(static_cast<int32_t>(static_cast<uint32_t>(context.args[0]))),
      flags_(static_cast<int32_t>(static_cast<uint32_t>(context.args[2]))),
      mode_(static_cast<int16_t>(static_cast<uint16_t>(context.args[3]))),
      path_(StringAt(context.args[1])) {}

bool OpenatSyscall::Fetch() { return path_.Read(); }

bool OpenatSyscall::Emit() {
    std::string text = "openat(" + std::to_string(dirFd_) + ", ";
    if (!AppendString(text, path_)) return false;
    text += ", " + std::to_string(flags_) + ", " + std::to_string(mode_) + ")";
    Send(text);
    return true;
}

ExecveSyscall::ExecveSyscall(const SyscallContext& context)
    : SyscallBase(context),
      filename_(StringAt(context.args[0])),
      argv_(ArrayAt(context.args[1])),
      envp_(ArrayAt(context.args[2])) {}

bool ExecveSyscall::Fetch() {
    bool ok = filename_.Read();
    ok = argv_.Read() && ok;
    ok = envp_.Read() && ok;
    for (size_t i = argvStrings_.size(); i < argv_.values().size(); ++i) {
        argvStrings_.push_back(StringAt(argv_.values()[i]));
    }
    for (size_t i = envpStrings_.size(); i < envp_.values().size(); ++i) {
        envpStrings_.push_back(StringAt(envp_.values()[i]));
    }
    for (TargetStringReader& reader : argvStrings_) ok = reader.Read() && ok;
    for (TargetStringReader& reader : envpStrings_) ok = reader.Read() && ok;
    return ok;
}

bool ExecveSyscall::Emit() {
    std::string text = "execve(";
    if (!AppendString(text, filename_)) return false;
    text += ", ";
    if (!AppendArray(text, argv_, argvStrings_)) return false;
    text += ", ";
    if (!AppendArray(text, envp_, envpStrings_)) return false;
    text += ")";
    Send(text);
    return true;
}

bool OtherSyscall::Emit() {
    std::string text = "unknown(";
    for (size_t i = 0; i < args_.size(); ++i) {
        if (i != 0) text += ", ";
        text += std::to_string(args_[i]);
    }
    text += ")";
    Send(text);
    return true;
}

}  // namespace vantric
