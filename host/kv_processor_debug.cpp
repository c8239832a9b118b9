#include "kv_processor_debug.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "kv_lookup.h"

namespace kvhost {

namespace {

template <size_t N>
void CopyText(char (&destination)[N], std::string_view text) {
    std::memset(destination, 0, N);
    std::memcpy(destination, text.data(), std::min(text.size(), N - 1));
}

}  // namespace

bool ProcessorDebug::Failing(DebugOperation operation) const {
    return processor_.failing(operation);
}

plexa::CAInterface* ProcessorDebug::LookupInterface(const char* name, uint32_t minimumRevision,
                                                    uint32_t* actualRevision) {
    if (SameName(name, host_names::kDebugInterface)) {
        return AnswerIfRevision(this, 0, minimumRevision, actualRevision);
    }
    return nullptr;
}

uint32_t ProcessorDebug::GetTargetFeatures(plexa::SQOVITargetFeatures* features) {
    if (features == nullptr) return plexa::kStatusNullArgument;
    if (Failing(DebugOperation::GetTargetFeatures)) return plexa::kStatusFailure;
    std::memset(features, 0, sizeof *features);
    CopyText(features->targetName, processor_.targetInfo().targetName);
    CopyText(features->targetVersion, processor_.targetInfo().version);
    features->registerGroupCount = Processor::kRegisterGroupCount;
    features->memorySpaceCount = static_cast<uint32_t>(processor_.spaces_.size());
    features->pcRegisterNumber = processor_.RegisterNumber(processor_.is64() ? "PC" : "R15");
    features->extendedFeaturesRegisterNumber =
        processor_.hasFeaturesRegister_ ? Processor::kFeaturesRegisterNumber : 0xFFFFFFFFu;
    features->handlesBreakpoints = 0;
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::GetTargetInfo(plexa::SQOVITargetInfo* info) {
    if (info == nullptr) return plexa::kStatusNullArgument;
    if (Failing(DebugOperation::GetTargetInfo)) return plexa::kStatusFailure;
    std::memcpy(info, &processor_.targetInfo(), sizeof *info);
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::CurrentTime(uint64_t* nanoseconds) {
    if (nanoseconds == nullptr) return plexa::kStatusNullArgument;
    if (Failing(DebugOperation::CurrentTime)) return plexa::kStatusFailure;
    *nanoseconds = processor_.currentTime_;
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::ListRegisters(uint32_t groupId, uint32_t startIndex,
                                       uint32_t desiredCount, uint32_t* actualCount,
                                       plexa::SQOVIRegisterInfo* registers) {
    if (actualCount == nullptr || (registers == nullptr && desiredCount > 0)) {
        return plexa::kStatusNullArgument;
    }
    *actualCount = 0;
    if (Failing(DebugOperation::ListRegisters)) return plexa::kStatusFailure;
    if (groupId != plexa::kAllRegisterGroups && groupId >= Processor::kRegisterGroupCount) {
        return plexa::kStatusInvalidArgument;
    }
    const RegisterFile& file = processor_.registers_;
    uint32_t matched = 0;  // position among the registers of the group
    for (size_t i = 0; i < file.size() && *actualCount < desiredCount; ++i) {
        const Register& reg = file.at(i);
        if (groupId != plexa::kAllRegisterGroups && reg.groupId != groupId) continue;
        if (matched++ < startIndex) continue;
        plexa::SQOVIRegisterInfo& out = registers[(*actualCount)++];
        std::memset(&out, 0, sizeof out);
        out.number = reg.number;
        out.groupId = reg.groupId;
        out.bitsWide = reg.bitsWide;
        CopyText(out.name, reg.name);
        CopyText(out.description, reg.description);
    }
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::ReadFeatureChunk(plexa::SQOVIRegisterValue& value) {
    if (!processor_.hasFeaturesRegister_) return plexa::kStatusInvalidArgument;
    if (Failing(DebugOperation::ReadFeatureRegister)) return plexa::kStatusFailure;
    // The text and its NUL, 16 bytes per chunk; chunks past it read as zeros.
    const std::string& text = processor_.features_;
    const size_t begin = static_cast<size_t>(value.chunkIndex) * 16;
    std::memset(value.bytes, 0, sizeof value.bytes);
    if (begin < text.size()) {
        std::memcpy(value.bytes, text.data() + begin, std::min<size_t>(16, text.size() - begin));
    }
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::ReadRegisters(uint32_t count, plexa::SQOVIRegisterValue* registers,
                                       uint32_t* actualCount, bool) {
    if (actualCount == nullptr || (registers == nullptr && count > 0)) {
        return plexa::kStatusNullArgument;
    }
    *actualCount = 0;
    if (Failing(DebugOperation::ReadRegisters)) return plexa::kStatusFailure;
    for (uint32_t i = 0; i < count; ++i) {
        plexa::SQOVIRegisterValue& value = registers[i];
        value.isUndefined = 0;
        std::memset(value.reserved, 0, sizeof value.reserved);
        if (value.number == Processor::kFeaturesRegisterNumber) {
            const uint32_t status = ReadFeatureChunk(value);
            if (status != plexa::kStatusOk) return status;
        } else {
            const Register* reg = processor_.registers_.ByNumber(value.number);
            // Registers of this model are at most 128 bits: chunk 0 only.
            if (reg == nullptr || value.chunkIndex != 0) return plexa::kStatusInvalidArgument;
            std::memcpy(value.bytes, reg->value.data(), sizeof value.bytes);
        }
        ++*actualCount;
    }
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::ListMemorySpaces(uint32_t startIndex, uint32_t desiredCount,
                                          uint32_t* actualCount,
                                          plexa::SQOVIMemorySpaceInfo* spaces) {
    if (actualCount == nullptr || (spaces == nullptr && desiredCount > 0)) {
        return plexa::kStatusNullArgument;
    }
    *actualCount = 0;
    if (Failing(DebugOperation::ListMemorySpaces)) return plexa::kStatusFailure;
    const std::vector<MemorySpace>& all = processor_.spaces_;
    for (size_t i = startIndex; i < all.size() && *actualCount < desiredCount; ++i) {
        plexa::SQOVIMemorySpaceInfo& out = spaces[(*actualCount)++];
        std::memset(&out, 0, sizeof out);
        out.id = all[i].id;
        out.bitsPerUnit = 8;
        out.minAddress = all[i].minAddress;
        out.maxAddress = all[i].maxAddress;
        CopyText(out.name, all[i].name);
        CopyText(out.description, all[i].description);
    }
    return plexa::kStatusOk;
}

uint32_t ProcessorDebug::ReadMemory(plexa::SQOVIAddress start, uint32_t unitCount,
                                    uint32_t unitSizeInBytes, uint8_t* data,
                                    uint32_t* actualUnitCount, bool) {
    if (actualUnitCount == nullptr || (data == nullptr && unitCount > 0)) {
        return plexa::kStatusNullArgument;
    }
    *actualUnitCount = 0;
    if (Failing(DebugOperation::ReadMemory)) return plexa::kStatusFailure;
    const MemorySpace* space = processor_.FindSpace(start.memorySpace);
    if (space == nullptr || unitSizeInBytes == 0) return plexa::kStatusInvalidArgument;
    if (unitCount == 0) return plexa::kStatusOk;

    uint64_t wanted = uint64_t{unitCount} * unitSizeInBytes;
    // Bytes outside the space's address range count as unmapped.
    if (start.address < space->minAddress || start.address > space->maxAddress) {
        wanted = 0;
    } else if (const uint64_t room = space->maxAddress - start.address; wanted - 1 > room) {
        wanted = room + 1;  // cannot overflow: room is below the largest value here
    }
    const uint64_t copied = space->memory.Read(start.address, std::span<uint8_t>(data, wanted));
    const uint32_t units = static_cast<uint32_t>(copied / unitSizeInBytes);
    *actualUnitCount = units;
    if (units == unitCount) return plexa::kStatusOk;
    if (processor_.partialReads_ && units > 0) return plexa::kStatusOk;
    return plexa::kStatusFailure;
}

}  // namespace kvhost
