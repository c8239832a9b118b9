// Call stacks rebuilt from the branch trace. Every branch of every core
// arrives here, so two direct-mapped caches answer repeated targets and
// sources: a cached function start costs one comparison and a push, a
// cached non-return source one comparison.
#include "capture/capture_writer.h"
#include "os/baremetal/baremetal_driver.h"

namespace vantric {
namespace {

constexpr uint64_t kThumbBit = 1;
// A return lands at most one instruction behind its call site.
constexpr uint64_t kReturnWindow = 4;

}  // namespace

void BareMetalDriver::OnBranch(plexa::SQOVI2* /*debug*/, uint32_t core, uint64_t pc,
                               uint64_t targetPc, bool /*is64*/, uint64_t time) {
    if (!callgraphFromSymbols || core >= stacks.size()) return;

    const uint64_t tKey = targetPc & ~kThumbBit;
    const TargetCacheEntry& target = targetCache[targetPc % kCacheEntries];
    if (target.key == tKey) {
        if (target.flag) Call(core, pc, targetPc, *target.function, time);
        return;
    }

    const uint64_t sKey = pc & ~kThumbBit;
    const SourceCacheEntry& source = sourceCache[pc % kCacheEntries];
    if (source.key == sKey) {
        if (!source.flag || stacks[core].empty()) return;
        const int32_t frame = FindReturningFrame(stacks[core], targetPc);
        if (frame >= 0) PopTo(core, frame, time);
        return;
    }

    UnknownBranch(core, pc, targetPc, time);
}

// Neither cache knows the branch: classify it and remember the answer.
void BareMetalDriver::UnknownBranch(uint32_t core, uint64_t pc, uint64_t targetPc,
                                    uint64_t time) {
    const uint64_t tKey = targetPc & ~kThumbBit;
    const uint64_t sKey = pc & ~kThumbBit;
    TargetCacheEntry& target = targetCache[targetPc % kCacheEntries];
    SourceCacheEntry& source = sourceCache[pc % kCacheEntries];

    const auto function = functionNames.find(tKey);
    if (function != functionNames.end()) {
        Call(core, pc, targetPc, function->second, time);
        target = {tKey, &function->second, true};
        return;
    }

    CallStack& stack = stacks[core];
    if (stack.size() < 2) {
        // While at most one frame is open nothing is popped: the outermost
        // frame only goes together with deeper ones.
        target = {tKey, nullptr, false};
        source = {sKey, false};
        return;
    }
    const CallFrame& innermost = stack.back();
    if (innermost.start < targetPc && targetPc <= innermost.end) {
        source = {sKey, false};  // a branch within the current function
        return;
    }

    // The branch leaves the current function.
    source.key = sKey;
    const int32_t frame = FindReturningFrame(stack, targetPc);
    // Whether or not a frame matched, the source is marked as a possible
    // return. A false mark would be final (the caches are never
    // invalidated), so a genuine return instruction met once while its frame
    // was missing (for instance after an exception emptied the stack) would
    // be ignored for the rest of the run and the stack would only grow. A
    // true mark merely sends later branches from here through the frame
    // search, which pops only when the target lies just behind a recorded
    // call site.
    source.flag = true;
    if (frame >= 0) PopTo(core, frame, time);
}

void BareMetalDriver::Call(uint32_t core, uint64_t pc, uint64_t targetPc,
                           const FunctionSymbol& function, uint64_t time) {
    stacks[core].push_back({targetPc, function.end, pc, &function});
    if (reportFunctionActivity && functionActivity) {
        functionActivity->Enter(core, appProcId, appProcId, function.name, function.symbolId,
                                time);
    }
}

int32_t BareMetalDriver::FindReturningFrame(const CallStack& stack, uint64_t targetPc) {
    for (int32_t i = static_cast<int32_t>(stack.size()) - 1; i >= 0; --i) {
        const CallFrame& frame = stack[static_cast<size_t>(i)];
        if (targetPc < frame.callSite || targetPc > frame.callSite + kReturnWindow) continue;
        if (i == 0) return i;
        // A caller of at most one instruction is a veneer, not a real caller:
        // its call site is not where the return lands.
        const CallFrame& caller = stack[static_cast<size_t>(i) - 1];
        if (caller.end - caller.start > kReturnWindow) return i;
    }
    return -1;
}

void BareMetalDriver::PopTo(uint32_t core, int32_t frame, uint64_t time) {
    CallStack& stack = stacks[core];
    while (static_cast<int32_t>(stack.size()) - 1 >= frame && !stack.empty()) {
        if (reportFunctionActivity && functionActivity) {
            const FunctionSymbol& function = *stack.back().function;
            functionActivity->Exit(core, appProcId, appProcId, function.name, function.symbolId,
                                   time);
        }
        stack.pop_back();
    }
}

}  // namespace vantric
