// The binary contract between a Kelvane host and a plug-in: every interface
// class with its virtual slots in order, and every record with its exact
// layout. Both sides of the boundary (the plug-in and the substitute host)
// include this header and nothing else of each other, so a plug-in built
// against it loads into any host built from the same contract.
//
// Self-contained on purpose: only the standard fixed-width types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plexa {

class CAInterface {
public:
    virtual ~CAInterface() = default;
    virtual CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                         uint32_t* actualRevision) = 0;
};

class InterfaceVisitor {
public:
    virtual ~InterfaceVisitor() = default;
    virtual void Visit(const char* name, uint32_t revision) = 0;
};

class CAInterfaceRegistryIF : public CAInterface {
public:
    virtual void AddInterface(const char* name, uint32_t revision, CAInterface* pointer) = 0;
    virtual void RemoveInterface(const char* name) = 0;
    virtual void VisitInterfaces(InterfaceVisitor* visitor) = 0;
    virtual const char* RegistryName() = 0;
    virtual void EnableRevisionDiagnostics(const char* hint) = 0;
};

// ---- processor debug interface records ----

struct SQOVITargetFeatures {
    char targetName[1024];
    char targetVersion[1024];
    uint32_t registerGroupCount;
    uint32_t memorySpaceCount;
    uint32_t pcRegisterNumber;                // 0xFFFFFFFF when absent
    uint32_t extendedFeaturesRegisterNumber;  // 0xFFFFFFFF when absent
    uint8_t handlesBreakpoints;
    uint8_t reserved[7];
};

struct SQOVIRegisterInfo {
    uint32_t number;
    uint32_t groupId;
    uint32_t bitsWide;
    uint32_t reserved;
    char name[64];
    char description[128];
};

struct SQOVIRegisterValue {
    uint32_t number;
    uint32_t chunkIndex;
    uint8_t bytes[16];
    uint8_t isUndefined;
    uint8_t reserved[7];
};

struct SQOVIMemorySpaceInfo {
    uint32_t id;
    uint32_t bitsPerUnit;
    uint64_t minAddress;
    uint64_t maxAddress;
    char name[64];
    char description[136];
};

struct SQOVIAddress {
    uint32_t memorySpace;
    uint32_t reserved;
    uint64_t address;
};

struct SQOVITargetInfo {
    uint32_t id;
    char targetName[1024];
    char vendor[1024];
    char version[1024];
    char description[1024];
    char type[1024];
    uint32_t processorCount;
    uint8_t isSoftware;
    uint32_t executionStateCount;
    char executablePath[1024];
    uint32_t parentId;
    char instancePath[1024];
    uint8_t hasSimulatedTime;
    uint8_t reserved[3];
};

// Group id that lists every register of a core.
inline constexpr uint32_t kAllRegisterGroups = 0xFFFFFFFFu;

class SQOVI2 : public CAInterface {
public:
    virtual uint32_t GetTargetFeatures(SQOVITargetFeatures* features) = 0;
    virtual uint32_t GetTargetInfo(SQOVITargetInfo* info) = 0;
    virtual uint32_t CurrentTime(uint64_t* nanoseconds) = 0;
    virtual uint32_t ListRegisters(uint32_t groupId, uint32_t startIndex, uint32_t desiredCount,
                                   uint32_t* actualCount, SQOVIRegisterInfo* registers) = 0;
    virtual uint32_t ReadRegisters(uint32_t count, SQOVIRegisterValue* registers,
                                   uint32_t* actualCount, bool doSideEffects) = 0;
    virtual uint32_t ListMemorySpaces(uint32_t startIndex, uint32_t desiredCount,
                                      uint32_t* actualCount, SQOVIMemorySpaceInfo* spaces) = 0;
    virtual uint32_t ReadMemory(SQOVIAddress start, uint32_t unitCount, uint32_t unitSizeInBytes,
                                uint8_t* data, uint32_t* actualUnitCount, bool doSideEffects) = 0;
};

class QOVISimulation2 : public CAInterface {
public:
    virtual void EndSimulation(bool stopNow) = 0;
};

// Host status results.
inline constexpr uint32_t kStatusOk = 0;
inline constexpr uint32_t kStatusFailure = 1;
inline constexpr uint32_t kStatusInvalidArgument = 2;
inline constexpr uint32_t kStatusNullArgument = 3;

}  // namespace plexa

namespace ZVT {

namespace v0 {

using ParameterType = uint32_t;
inline constexpr ParameterType kParameterText = 1;
inline constexpr ParameterType kParameterBoolean = 2;
inline constexpr ParameterType kParameterInteger = 3;

struct ParameterInfo {
    uint32_t id;
    char name[1024];
    ParameterType type;
    char description[1024];
    uint32_t flags;
    uint32_t reserved;
    int64_t minimum;
    int64_t maximum;
    int64_t defaultInteger;
    char defaultText[1024];
};

struct ParameterValue {
    uint32_t id;
    uint32_t reserved;
    int64_t integerValue;
    char textValue[1024];
};

class PluginInstance : public plexa::CAInterface {
public:
    virtual uint32_t ConnectSimulation(plexa::CAInterface* simulation) = 0;
    virtual void ReleaseInstance() = 0;
    virtual const char* InstanceName() = 0;
};

class PluginFactory : public plexa::CAInterface {
public:
    virtual uint32_t ParameterCount() = 0;
    virtual uint32_t CopyParameterInfo(ParameterInfo* destination) = 0;
    virtual PluginInstance* CreateInstance(const char* instanceName, uint32_t valueCount,
                                           const ParameterValue* values) = 0;
    virtual void ReleaseFactory() = 0;
};

}  // namespace v0

namespace v1 {

class PluginFactory : public v0::PluginFactory {
public:
    virtual const char* PluginKind() = 0;
};

}  // namespace v1

// Field type codes of EventFieldType::TypeCode().
enum FieldTypeCode : uint32_t {
    UNSIGNED_INT = 0,
    SIGNED_INT = 1,
    BOOL = 2,
    ENUM = 3,
    FLOAT = 4,
    STRING = 5,
};

// Value index / offset meaning "not carried by this event class".
inline constexpr uint32_t kNoValueIndex = 0xFFFFFFFFu;

struct EnumConstant {
    uint32_t value;
    const char* name;
};

class EventFieldType : public plexa::CAInterface {
public:
    virtual uint32_t FieldIndex() = 0;
    virtual const char* Name() = 0;
    virtual const char* Description() = 0;
    virtual uint32_t TypeCode() = 0;
    virtual uint32_t Size() = 0;  // bytes in the low 16 bits; upper bits are host flags
    virtual uint32_t EnumConstantCount() = 0;
    virtual EnumConstant EnumConstantAt(uint32_t index) = 0;
};

class EventClass;

using EventCallback = void (*)(void* userData, EventClass* eventClass, const uint8_t* record);

class EventClass : public plexa::CAInterface {
public:
    virtual EventFieldType* FieldOfValueIndex(uint32_t valueIndex) = 0;
    virtual uint32_t GetValueIndex(const char* fieldName) = 0;
    virtual uint32_t ValueOffset(uint32_t valueIndex) = 0;
    virtual uint32_t RegisterCallback(EventCallback callback, void* userData) = 0;
};

class TraceSource : public plexa::CAInterface {
public:
    virtual const char* Name() = 0;
    virtual const char* Description() = 0;
    virtual uint32_t FieldCount() = 0;
    virtual EventFieldType* FindField(const char* name) = 0;
    virtual EventFieldType* FieldAt(uint32_t index) = 0;
    virtual EventClass* CreateEventClass(uint32_t fieldMask) = 0;
};

class ComponentTraceInterface : public plexa::CAInterface {
public:
    virtual uint32_t TraceSourceCount() = 0;
    virtual TraceSource* FindTraceSource(const char* name) = 0;
    virtual TraceSource* TraceSourceAt(uint32_t index) = 0;
};

class SystemTraceInterface : public plexa::CAInterface {
public:
    virtual int32_t TraceComponentCount() = 0;
    virtual const char* TraceComponentName(int32_t index) = 0;
    virtual plexa::CAInterface* TraceComponent(int32_t index) = 0;
};

}  // namespace ZVT

namespace vq {

class ComponentRegistry : public plexa::CAInterface {
public:
    virtual plexa::CAInterface* FindComponent(const char* name) = 0;
    virtual bool AddComponentInterface(const char* name, plexa::CAInterface* component) = 0;
};

class SchedulerInterfaceForComponents : public plexa::CAInterface {
public:
    virtual uint64_t getCurrentSimulationTime(const void* clock) = 0;
    virtual double getTickSeconds() = 0;
};

}  // namespace vq

// The plug-in's own query face, in the global namespace.
class ReleaseListener {
public:
    virtual ~ReleaseListener() = default;
    virtual void OnInstanceReleased() = 0;
};

class VantricTraceInterface : public plexa::CAInterface {
public:
    virtual void AddReleaseListener(ReleaseListener* listener) = 0;
    virtual uint32_t CreateCounter(const char* title, const char* name, const char* type,
                                   const char* display, const char* units, bool averageSelection,
                                   bool perCpu) = 0;
    virtual void EmitCounterValue(uint32_t counterId, uint32_t value) = 0;
};

// Interface names and the revisions asked for and registered.
namespace host_names {
inline constexpr const char* kComponentRegistry = "vq.ComponentRegistry";
inline constexpr const char* kSystemTrace = "SystemTraceInterface1";
inline constexpr const char* kComponentTrace = "ComponentTraceInterface1";
inline constexpr uint32_t kComponentTraceRevision = 2;
inline constexpr const char* kDebugInterface = "plexa.SQOVI2";
inline constexpr const char* kScheduler = "vq.SchedulerInterfaceForComponents";
inline constexpr uint32_t kSchedulerRevision = 1;
inline constexpr const char* kSimulationControl = "plexa.QOVISimulation2";
inline constexpr const char* kSchedulerComponent = "scheduler";
inline constexpr const char* kSimulationComponent = "qoviSimulation";
}  // namespace host_names

// ---- layout checks: these records cross the boundary byte for byte ----
#define VT_CHECK_FIELD(type, field, offset) \
    static_assert(offsetof(type, field) == (offset), #type "::" #field " offset")

static_assert(sizeof(ZVT::v0::ParameterInfo) == 3112);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, name, 4);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, type, 1028);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, description, 1032);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, flags, 2056);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, minimum, 2064);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, maximum, 2072);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, defaultInteger, 2080);
VT_CHECK_FIELD(ZVT::v0::ParameterInfo, defaultText, 2088);

static_assert(sizeof(ZVT::v0::ParameterValue) == 1040);
VT_CHECK_FIELD(ZVT::v0::ParameterValue, integerValue, 8);
VT_CHECK_FIELD(ZVT::v0::ParameterValue, textValue, 16);

static_assert(sizeof(plexa::SQOVITargetFeatures) == 2072);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, targetVersion, 1024);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, registerGroupCount, 2048);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, memorySpaceCount, 2052);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, pcRegisterNumber, 2056);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, extendedFeaturesRegisterNumber, 2060);
VT_CHECK_FIELD(plexa::SQOVITargetFeatures, handlesBreakpoints, 2064);

static_assert(sizeof(plexa::SQOVIRegisterInfo) == 208);
VT_CHECK_FIELD(plexa::SQOVIRegisterInfo, groupId, 4);
VT_CHECK_FIELD(plexa::SQOVIRegisterInfo, bitsWide, 8);
VT_CHECK_FIELD(plexa::SQOVIRegisterInfo, name, 16);
VT_CHECK_FIELD(plexa::SQOVIRegisterInfo, description, 80);

static_assert(sizeof(plexa::SQOVIRegisterValue) == 32);
VT_CHECK_FIELD(plexa::SQOVIRegisterValue, chunkIndex, 4);
VT_CHECK_FIELD(plexa::SQOVIRegisterValue, bytes, 8);
VT_CHECK_FIELD(plexa::SQOVIRegisterValue, isUndefined, 24);

static_assert(sizeof(plexa::SQOVIMemorySpaceInfo) == 224);
VT_CHECK_FIELD(plexa::SQOVIMemorySpaceInfo, bitsPerUnit, 4);
VT_CHECK_FIELD(plexa::SQOVIMemorySpaceInfo, minAddress, 8);
VT_CHECK_FIELD(plexa::SQOVIMemorySpaceInfo, maxAddress, 16);
VT_CHECK_FIELD(plexa::SQOVIMemorySpaceInfo, name, 24);
VT_CHECK_FIELD(plexa::SQOVIMemorySpaceInfo, description, 88);

static_assert(sizeof(plexa::SQOVIAddress) == 16);
VT_CHECK_FIELD(plexa::SQOVIAddress, address, 8);

static_assert(sizeof(plexa::SQOVITargetInfo) == 7192);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, targetName, 4);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, vendor, 1028);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, version, 2052);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, description, 3076);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, type, 4100);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, processorCount, 5124);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, isSoftware, 5128);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, executionStateCount, 5132);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, executablePath, 5136);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, parentId, 6160);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, instancePath, 6164);
VT_CHECK_FIELD(plexa::SQOVITargetInfo, hasSimulatedTime, 7188);

static_assert(sizeof(ZVT::EnumConstant) == 16);

#undef VT_CHECK_FIELD
