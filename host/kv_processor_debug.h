// The "plexa.SQOVI2" face of a Processor: the register, memory, feature and
// target queries of the debug interface, answered from the processor's state.
#pragma once

#include <cstdint>

#include "host_abi.h"
#include "kv_processor.h"

namespace kvhost {


class ProcessorDebug final : public plexa::SQOVI2 {
public:
    explicit ProcessorDebug(Processor& processor) : processor_(processor) {}

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint32_t GetTargetFeatures(plexa::SQOVITargetFeatures* features) override;
    uint32_t GetTargetInfo(plexa::SQOVITargetInfo* info) override;
    uint32_t CurrentTime(uint64_t* nanoseconds) override;
    uint32_t ListRegisters(uint32_t groupId, uint32_t startIndex, uint32_t desiredCount,
                           uint32_t* actualCount, plexa::SQOVIRegisterInfo* registers) override;
    uint32_t ReadRegisters(uint32_t count, plexa::SQOVIRegisterValue* registers,
                           uint32_t* actualCount, bool doSideEffects) override;
    uint32_t ListMemorySpaces(uint32_t startIndex, uint32_t desiredCount, uint32_t* actualCount,
                              plexa::SQOVIMemorySpaceInfo* spaces) override;
    uint32_t ReadMemory(plexa::SQOVIAddress start, uint32_t unitCount, uint32_t unitSizeInBytes,
                        uint8_t* data, uint32_t* actualUnitCount, bool doSideEffects) override;

private:
    bool Failing(DebugOperation operation) const;
    uint32_t ReadFeatureChunk(plexa::SQOVIRegisterValue& value);

    Processor& processor_;
};

}  // namespace kvhost
