// A trace source of a simulated component: its fields, the event classes the
// plug-in creates on it, and the callbacks registered through them.
//
// The source keeps one event record of its own, laid out once when the source
// is built: an 8-byte header (the event's sequence number, 1 for the first
// event), then one zero-padded, 8-byte aligned slot per field in field order.
// Every event class maps its value indexes onto these slots, so emitting an
// event writes the record once and calls every registered callback with it;
// nothing is allocated or looked up on that path.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_abi.h"
#include "kv_event_class.h"
#include "kv_field.h"
#include "kv_value.h"

namespace kvhost {

class TraceSource final : public ZVT::TraceSource {
public:
    static constexpr uint32_t kHeaderBytes = 8;

    TraceSource(std::string name, std::string description, std::vector<FieldShape> fields);
    TraceSource(const TraceSource&) = delete;
    TraceSource& operator=(const TraceSource&) = delete;
    ~TraceSource() override;

    // ---- host contract ----
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    const char* Name() override { return name_.c_str(); }
    const char* Description() override { return description_.c_str(); }
    uint32_t FieldCount() override { return static_cast<uint32_t>(fields_.size()); }
    ZVT::EventFieldType* FindField(const char* name) override;
    ZVT::EventFieldType* FieldAt(uint32_t index) override;
    ZVT::EventClass* CreateEventClass(uint32_t fieldMask) override;

    // ---- model ----
    const std::string& name() const { return name_; }
    uint32_t fieldCount() const { return static_cast<uint32_t>(fields_.size()); }
    Field& field(uint32_t index) { return *fields_.at(index); }
    // Field index of `fieldName`; throws std::invalid_argument when absent.
    uint32_t IndexOf(std::string_view fieldName) const;
    // Byte offset of a field's slot in the record.
    uint32_t SlotOffset(uint32_t index) const { return slotOffsets_.at(index); }

    // Positional writes into the record, for the hot path. SetInteger takes
    // the value's bits (a negative number as its two's complement) and keeps
    // the field's Size() low bytes; BOOL fields store 1 for any non-zero value,
    // FLOAT fields the number as a double; a STRING field throws.
    void SetInteger(uint32_t index, uint64_t value);
    void SetFloat(uint32_t index, double value);
    void SetText(uint32_t index, std::string_view text);
    // Raw bytes for fields wider than 8 bytes; the rest of the slot is zeroed.
    void SetBytes(uint32_t index, std::span<const uint8_t> bytes);
    // Type-checked write; throws std::invalid_argument on a kind mismatch.
    void Set(uint32_t index, const Value& value);
    // Every slot back to zero (STRING fields to the empty text).
    void ClearValues();

    // Calls every registered callback with the current record.
    void Dispatch();
    // Clears the record, writes the named values and dispatches; an unknown
    // field name throws std::invalid_argument before anything is dispatched.
    void Emit(std::initializer_list<NamedValue> values);
    // Clears the record, writes values to fields 0, 1, ... and dispatches.
    void EmitPositional(std::initializer_list<Value> values);

    const uint8_t* record() const { return record_; }
    uint32_t recordSize() const { return recordSize_; }

    // ---- observation, for tests ----
    bool hasCallbacks() const { return !callbacks_.empty(); }
    size_t callbackCount() const { return callbacks_.size(); }
    size_t eventClassCount() const { return classes_.size(); }
    EventClass& eventClassAt(size_t index) { return *classes_.at(index); }
    uint64_t eventCount() const { return sequence_; }

    // ---- failure injection, for tests of the plug-in's error paths ----
    void SetFailCreateEventClass(bool fail) { failCreateEventClass_ = fail; }
    void SetFailRegisterCallback(bool fail) { failRegisterCallback_ = fail; }

private:
    friend class EventClass;
    bool AddCallback(EventClass& eventClass, ZVT::EventCallback callback, void* userData);

    struct Subscription {
        ZVT::EventCallback callback;
        void* userData;
        EventClass* eventClass;
    };

    uint8_t* slot(uint32_t index) { return record_ + slotOffsets_[index]; }

    std::string name_;
    std::string description_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::vector<uint32_t> slotOffsets_;
    std::vector<uint64_t> mask64_;   // per field: mask of its low Size() bytes
    std::vector<std::string> texts_;  // per field: owned STRING values
    std::vector<uint64_t> storage_;   // the record, 8-byte aligned
    uint8_t* record_ = nullptr;
    uint32_t recordSize_ = 0;
    uint64_t sequence_ = 0;
    std::vector<std::unique_ptr<EventClass>> classes_;
    std::vector<Subscription> callbacks_;
    bool failCreateEventClass_ = false;
    bool failRegisterCallback_ = false;
};

}  // namespace kvhost
