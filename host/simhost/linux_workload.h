// The Linux scenario's workload as plain data: the processes, their threads,
// the files they map and the system calls they make, with every name and
// string. The scheduler lays it out in the kernel image and runs it; the
// ground truth spells its expected texts from the same table, so the two
// share the data and nothing else.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace simhost {

class LinuxWorkload {
public:
    static constexpr uint64_t kOpenatNumber = 56;
    static constexpr uint64_t kExecveNumber = 221;
    static constexpr int64_t kAtFdcwd = -100;  // the directory argument of every openat
    // A process maps its executable's and libraries' code from file offset 0, this long.
    static constexpr uint64_t kExeCodeSize = 0x80000;
    static constexpr uint64_t kLibraryCodeSize = 0x180000;

    // How long a thread lives, as a share of the run.
    enum class Lifetime { kForever, kEighth, kSixteenth };
    // What a system call may do to its thread: return at once, sleep or wait for I/O.
    enum class Blocking { kNever, kSleep, kIoWait };

    struct ThreadEntry {
        uint32_t tid = 0;
        std::string comm;
        Lifetime lifetime = Lifetime::kForever;
    };
    struct OpenEntry {
        std::string path;
        int32_t flags = 0;
        int32_t mode = 0;
        Blocking blocking = Blocking::kNever;
        uint32_t blockChance = 0;  // percent
    };
    struct ExecEntry {
        std::string file;
        std::vector<std::string> argv;
        std::vector<std::string> envp;
    };
    // A call the driver does not decode: (3, "buffer", 4096).
    struct PlainCall {
        uint64_t number = 0;
        Blocking blocking = Blocking::kNever;
        uint32_t blockChance = 0;
    };
    struct ProcessEntry {
        uint32_t pid = 0;  // also the leader thread's id
        std::string comm;
        std::string exe;
        std::vector<std::string> libraries;
        bool jitArea = false;  // anonymous code
        std::vector<ThreadEntry> threads;  // besides the leader
        std::vector<OpenEntry> opens;
        std::vector<ExecEntry> execs;
    };
    struct KernelThreadEntry {
        uint32_t tid = 0;
        std::string comm;
    };
    struct FunctionEntry {
        std::string name;
        uint64_t offset = 0;  // into the file
        uint64_t size = 0;
    };
    // A file mapped as code; its functions cover the code without gaps.
    struct CodeFileEntry {
        std::string path;
        uint64_t codeSize = 0;
        std::vector<FunctionEntry> functions;
    };

    // nginx, python3, postgres and make, and one kernel worker.
    static LinuxWorkload Standard();

    const std::vector<ProcessEntry>& processes() const { return processes_; }
    // Made by every process, listed before its own calls.
    const std::vector<PlainCall>& plainCalls() const { return plainCalls_; }
    const KernelThreadEntry& worker() const { return worker_; }
    // Each executable and library once, in the order the processes list them.
    std::vector<CodeFileEntry> CodeFiles() const;
    // Instructions a thread runs before it exits, for a run of `instructions` per core.
    static uint64_t LifetimeInstructions(Lifetime lifetime, uint64_t instructions);

private:
    std::vector<ProcessEntry> processes_;
    std::vector<PlainCall> plainCalls_;
    KernelThreadEntry worker_;
    std::map<std::string, std::vector<std::string>> functionNames_;  // by file path
};

}  // namespace simhost
