// OS awareness for a target that runs one application without an operating
// system. Every sample is attributed to the configured application. With
// symbol files the driver rebuilds each core's call stack from the branch
// trace (a branch to a listed function start is a call, a branch back to
// just behind a recorded call site is a return) and can report every call as
// a function-activity interval; without them it walks frame records.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "os/baremetal/function_activity.h"
#include "os/baremetal/symbol_file.h"
#include "os/os_driver.h"

namespace vq {
class JSONValue;
}

namespace vantric {

class BareMetalDriver : public OSDriver {
public:
    static constexpr uint32_t kCacheEntries = 200;

    struct CallFrame {
        uint64_t start;     // the called address as branched to (bit 0 kept)
        uint64_t end;       // the function's end address
        uint64_t callSite;  // address of the calling branch
        const FunctionSymbol* function;
    };
    // One per core; the innermost frame is the last.
    using CallStack = std::vector<CallFrame>;

    // Reads "app-name", "app-proc-id", "callgraph-using-debug-info",
    // "symbol-info-files" and "report-function-activity" from the subsystem
    // settings object, then the symbol files. Throws VantricExceptionT for a
    // missing or invalid application name or id, and for unusable
    // "symbol-info-files" while call graphs come from symbols. A symbol file
    // that cannot be opened is noted in Messages() and skipped.
    BareMetalDriver(CaptureWriter& capture, uint32_t callstackDepth,
                    const vq::JSONValue& configuration);
    ~BareMetalDriver() override;

    bool Init(plexa::SQOVI2* debug, uint32_t coreCount, bool is64) override;
    void Finish(uint64_t time) override;
    void OnBranch(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t targetPc, bool is64,
                  uint64_t time) override;
    void OnSample(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t lr, uint64_t fp,
                  uint64_t sp, bool inUserMode, bool mmuEnabled, bool is64,
                  uint64_t time) override;
    bool WantsBranchEvents() const override { return wantsBranches; }
    bool WantsSyscallEvents() const override { return false; }
    void OnException() override;

    // ---- read-only views for the trace core's diagnostics and for tests ----
    const std::string& applicationName() const { return appName; }
    uint32_t applicationId() const { return appProcId; }
    bool callgraphUsesSymbols() const { return callgraphFromSymbols; }
    bool reportsFunctionActivity() const { return reportFunctionActivity; }
    const FunctionTable& functions() const { return functionNames; }
    // Empty for a core outside the range given to Init.
    const CallStack& callStack(uint32_t core) const;
    const FunctionActivity* activity() const { return functionActivity.get(); }

private:
    struct TargetCacheEntry {
        uint64_t key = 0;
        const FunctionSymbol* function = nullptr;
        bool flag = false;  // the target is a function start
    };
    struct SourceCacheEntry {
        uint64_t key = 0;
        bool flag = false;  // a branch from here is a return
    };

    void ReadSettings(const vq::JSONValue& configuration, std::vector<std::string>& files);
    void Call(uint32_t core, uint64_t pc, uint64_t targetPc, const FunctionSymbol& function,
              uint64_t time);
    // Index of the frame that a branch to `targetPc` returns from, or -1.
    static int32_t FindReturningFrame(const CallStack& stack, uint64_t targetPc);
    // Removes the frames from the innermost down to `frame`, reporting each exit.
    void PopTo(uint32_t core, int32_t frame, uint64_t time);
    void UnknownBranch(uint32_t core, uint64_t pc, uint64_t targetPc, uint64_t time);

    std::string appName;
    uint32_t appProcId = 0;
    bool firstSample = true;
    uint32_t callstackDepth;
    // Name, symbol id and end address of each function, by start address
    // with bit 0 cleared. The end addresses are kept in the same entry, as a
    // line of a symbol file always sets the three together.
    FunctionTable functionNames;
    std::vector<CallStack> stacks;
    bool reportFunctionActivity = false;
    bool callgraphFromSymbols = true;
    bool wantsBranches = true;
    std::unique_ptr<FunctionActivity> functionActivity;
    uint32_t coreCount = 0;
    std::array<TargetCacheEntry, kCacheEntries> targetCache{};
    std::array<SourceCacheEntry, kCacheEntries> sourceCache{};

    // Reused by every sample, so that a sample allocates nothing once warm.
    std::vector<uint64_t> sampleAddresses;
    std::vector<uint32_t> sampleCookies;
};

}  // namespace vantric
