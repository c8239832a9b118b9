#include "kv_trace_source.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kvhost {

namespace {

const char kEmptyText[] = "";

uint64_t LowBytesMask(uint32_t bytes) {
    return bytes >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
}

}  // namespace

TraceSource::TraceSource(std::string name, std::string description, std::vector<FieldShape> fields)
    : name_(std::move(name)), description_(std::move(description)) {
    uint32_t offset = kHeaderBytes;
    for (FieldShape& shape : fields) {
        for (const auto& existing : fields_) {
            if (existing->shape().name == shape.name) {
                throw std::invalid_argument("kvhost: field " + shape.name + " declared twice in " +
                                            name_);
            }
        }
        auto field = std::make_unique<Field>(static_cast<uint32_t>(fields_.size()), std::move(shape));
        slotOffsets_.push_back(offset);
        mask64_.push_back(LowBytesMask(field->valueSize()));
        offset += field->slotSize();
        fields_.push_back(std::move(field));
    }
    texts_.resize(fields_.size());
    recordSize_ = offset;
    storage_.assign(recordSize_ / 8, 0);
    record_ = reinterpret_cast<uint8_t*>(storage_.data());
    ClearValues();
}

TraceSource::~TraceSource() = default;

plexa::CAInterface* TraceSource::LookupInterface(const char*, uint32_t, uint32_t*) {
    return nullptr;  // a trace source answers no interface names
}

ZVT::EventFieldType* TraceSource::FindField(const char* name) {
    if (name == nullptr) return nullptr;
    for (const auto& field : fields_) {
        if (field->shape().name == name) return field.get();
    }
    return nullptr;
}

ZVT::EventFieldType* TraceSource::FieldAt(uint32_t index) {
    return index < fields_.size() ? fields_[index].get() : nullptr;
}

ZVT::EventClass* TraceSource::CreateEventClass(uint32_t fieldMask) {
    if (failCreateEventClass_) return nullptr;
    std::vector<Field*> carried;
    std::vector<uint32_t> offsets;
    for (const auto& field : fields_) {
        if ((fieldMask >> (field->index() % 32)) & 1u) {
            carried.push_back(field.get());
            offsets.push_back(slotOffsets_[field->index()]);
        }
    }
    classes_.push_back(
        std::make_unique<EventClass>(*this, fieldMask, std::move(carried), std::move(offsets)));
    return classes_.back().get();
}

uint32_t TraceSource::IndexOf(std::string_view fieldName) const {
    for (const auto& field : fields_) {
        if (field->shape().name == fieldName) return field->index();
    }
    throw std::invalid_argument("kvhost: no field " + std::string(fieldName) + " in source " +
                                name_);
}

void TraceSource::SetInteger(uint32_t index, uint64_t value) {
    switch (fields_[index]->shape().type) {
    case ZVT::BOOL:
        value = value != 0 ? 1 : 0;
        break;
    case ZVT::FLOAT:
        SetFloat(index, static_cast<double>(static_cast<int64_t>(value)));
        return;
    case ZVT::STRING:
        // A number in a STRING slot would be a wild pointer for the reader.
        throw std::invalid_argument("kvhost: integer for STRING field " +
                                    fields_[index]->shape().name + " of source " + name_);
    default:
        break;
    }
    value &= mask64_[index];
    std::memcpy(slot(index), &value, 8);
}

void TraceSource::SetFloat(uint32_t index, double value) {
    std::memcpy(slot(index), &value, 8);
}

void TraceSource::SetText(uint32_t index, std::string_view text) {
    texts_[index].assign(text);
    const char* pointer = texts_[index].c_str();
    std::memcpy(slot(index), &pointer, sizeof pointer);
}

void TraceSource::SetBytes(uint32_t index, std::span<const uint8_t> bytes) {
    const uint32_t width = fields_[index]->slotSize();
    uint8_t* target = slot(index);
    std::memset(target, 0, width);
    std::memcpy(target, bytes.data(), std::min<size_t>(bytes.size(), width));
}

void TraceSource::Set(uint32_t index, const Value& value) {
    if (index >= fields_.size()) {
        throw std::invalid_argument("kvhost: field index out of range in source " + name_);
    }
    const FieldShape& shape = fields_[index]->shape();
    const auto mismatch = [&]() {
        return std::invalid_argument("kvhost: value of the wrong kind for field " + shape.name +
                                     " of source " + name_);
    };
    switch (value.kind()) {
    case Value::Kind::Integer:
        if (shape.type == ZVT::STRING) throw mismatch();
        SetInteger(index, value.bits());
        return;
    case Value::Kind::Floating:
        if (shape.type != ZVT::FLOAT) throw mismatch();
        SetFloat(index, value.floating());
        return;
    case Value::Kind::Text:
        if (shape.type != ZVT::STRING) throw mismatch();
        SetText(index, value.text());
        return;
    }
}

void TraceSource::ClearValues() {
    std::fill(storage_.begin(), storage_.end(), 0);
    std::memcpy(record_, &sequence_, 8);
    for (uint32_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i]->shape().type == ZVT::STRING) {
            const char* pointer = kEmptyText;
            std::memcpy(slot(i), &pointer, sizeof pointer);
        }
    }
}

void TraceSource::Dispatch() {
    ++sequence_;
    std::memcpy(record_, &sequence_, 8);
    // Indexing (not iterators) keeps this safe when a callback registers
    // another one; callbacks added during an event see the next event.
    const size_t count = callbacks_.size();
    for (size_t i = 0; i < count; ++i) {
        const Subscription s = callbacks_[i];
        s.callback(s.userData, s.eventClass, record_);
    }
}

void TraceSource::Emit(std::initializer_list<NamedValue> values) {
    // Resolve every name first so a typo dispatches nothing.
    uint32_t indexes[64];
    if (values.size() > std::size(indexes)) {
        throw std::invalid_argument("kvhost: too many values for one event of " + name_);
    }
    size_t n = 0;
    for (const NamedValue& v : values) indexes[n++] = IndexOf(v.name != nullptr ? v.name : "");
    ClearValues();
    n = 0;
    for (const NamedValue& v : values) Set(indexes[n++], v.value);
    Dispatch();
}

void TraceSource::EmitPositional(std::initializer_list<Value> values) {
    if (values.size() > fields_.size()) {
        throw std::invalid_argument("kvhost: more values than fields for source " + name_);
    }
    ClearValues();
    uint32_t index = 0;
    for (const Value& v : values) Set(index++, v);
    Dispatch();
}

bool TraceSource::AddCallback(EventClass& eventClass, ZVT::EventCallback callback,
                              void* userData) {
    if (failRegisterCallback_) return false;
    callbacks_.push_back(Subscription{callback, userData, &eventClass});
    return true;
}

}  // namespace kvhost
