// The gdb remote commands this host uses on QEMU's gdbstub, one method per
// command: target description documents, the thread (vCPU) list, register
// and memory reads, physical memory mode, software breakpoints and run
// control. All-stop: the reads are made while every vCPU is stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gdb_remote.h"
#include "stop_reply.h"
#include "target_description.h"

namespace qemuhost {

class GdbTarget {
public:
    // Bounds on what a stub may make this host read.
    static constexpr size_t kMaxDocument = 4u << 20;
    static constexpr size_t kMaxDocuments = 32;
    static constexpr size_t kMaxThreads = 4096;
    // QEMU refuses 'm' for more than 2 KiB at a time.
    static constexpr size_t kMaxMemoryChunk = 2048;

    explicit GdbTarget(GdbRemote& remote) : remote_(remote) {}

    // target.xml and the documents it includes. QEMU answers 'p' only
    // after a client has read target.xml.
    bool LoadTargetDescription(TargetDescription& description);
    // One qXfer:features:read document, read in chunks.
    bool ReadFeatureDocument(const std::string& annex, std::string& text);
    // The vCPUs' thread ids, in the stub's order.
    std::optional<std::vector<uint32_t>> Threads();
    std::optional<StopReply> QueryStop();

    // Hg; remembered until the next stop, after which QEMU selects the
    // vCPU that stopped.
    bool SelectThread(uint32_t thread);
    // 'g': the core registers of the selected thread, in target byte order.
    std::optional<std::vector<uint8_t>> ReadCoreRegisters();
    // 'p': one register of the selected thread.
    std::optional<std::vector<uint8_t>> ReadRegister(uint32_t number);
    // 'P': writes one register of the selected thread.
    bool WriteRegister(uint32_t number, std::span<const uint8_t> bytes);
    // 'm' in chunks; false at the first chunk the stub refuses.
    bool ReadMemory(uint64_t address, std::span<uint8_t> out);
    // QEMU's Qqemu.PhyMemMode: 'm' then reads guest physical addresses.
    bool SetPhysicalMemoryMode(bool physical);

    bool InsertBreakpoint(uint64_t address);
    bool RemoveBreakpoint(uint64_t address);
    // Resumes every vCPU; the stop reply comes later.
    bool Continue();
    // Steps `thread` one instruction with the others stopped and waits for it.
    std::optional<StopReply> Step(uint32_t thread, int timeoutMs);
    // Called on every stop: QEMU has selected the stopping vCPU by then.
    void OnStopped() { selected_ = 0; }

    GdbRemote& remote() { return remote_; }
    const std::string& error() const { return error_.empty() ? remote_.error() : error_; }

private:
    bool Refused(const std::string& command, const std::string& reply);
    bool Expect(const std::string& command, std::string_view wanted);

    GdbRemote& remote_;
    uint32_t selected_ = 0;
    std::string error_;
};

}  // namespace qemuhost
