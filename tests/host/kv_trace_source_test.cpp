// Event records and event classes as a plug-in sees them through the host
// contract: value indexes under masks, slot offsets and padding, every field
// type, and several callbacks per source.
#include "kv_trace_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kv_test_support.h"

namespace kvhost {
namespace {

// 40 fields F0..F39 of sizes 1, 2, 4, 8 in turn; a mask bit selects every
// field whose index modulo 32 is that bit.
TEST(EventClassTest, CarriesFieldsOfMaskBitsInFieldOrder) {
    std::vector<FieldSpec> fields;
    for (uint32_t i = 0; i < 40; ++i)
        fields.push_back(Unsigned("F" + std::to_string(i), 1u << (i % 4)));
    TraceSource source("S", "", fields);
    const std::pair<uint32_t, std::vector<std::string>> cases[] = {
        {0, {}},
        {1u << 0, {"F0", "F32"}},
        {1u << 3, {"F3", "F35"}},  // index 35 -> bit 3
        {(1u << 5) | (1u << 1), {"F1", "F5", "F33", "F37"}},
        {1u << 31, {"F31"}},
        {(1u << 8) | (1u << 7), {"F7", "F8", "F39"}},
    };
    for (const auto& [mask, carried] : cases) {
        auto* cls = source.CreateEventClass(mask);
        ASSERT_NE(cls, nullptr);
        for (uint32_t i = 0; i < carried.size(); ++i) {
            ASSERT_NE(cls->FieldOfValueIndex(i), nullptr) << mask << " " << i;
            EXPECT_EQ(cls->FieldOfValueIndex(i)->Name(), carried[i]);
            EXPECT_EQ(cls->GetValueIndex(carried[i].c_str()), i);
            EXPECT_EQ(cls->ValueOffset(i) % 8, 0u);
        }
        const auto end = static_cast<uint32_t>(carried.size());
        EXPECT_EQ(cls->FieldOfValueIndex(end), nullptr) << mask;
        EXPECT_EQ(cls->ValueOffset(end), 0xFFFFFFFFu) << mask;
        EXPECT_EQ(cls->GetValueIndex("F2"), 0xFFFFFFFFu) << mask;
    }
    EXPECT_EQ(source.CreateEventClass(1)->GetValueIndex("NOPE"), 0xFFFFFFFFu);
    EXPECT_EQ(source.CreateEventClass(1)->GetValueIndex(nullptr), 0xFFFFFFFFu);
}

TEST(EventClassTest, ValuesAreZeroExtendedInDistinctSlots) {
    TraceSource source(
        "S", "",
        {Unsigned("A", 1), Signed("B", 4), Unsigned("C", 2), Unsigned("D", 8), Signed("E", 2)});
    auto* cls = source.CreateEventClass(0x1F);
    CallbackProbe probe;
    ASSERT_EQ(cls->RegisterCallback(CallbackProbe::Callback, &probe), 0u);
    source.Emit({{"A", 0x1FF}, {"B", -1}, {"C", 0xABCD}, {"D", ~uint64_t{0}}, {"E", -2}});
    ASSERT_EQ(probe.calls(), 1u);
    EXPECT_EQ(probe.value(0), 0xFFu);        // masked to one byte
    EXPECT_EQ(probe.value(1), 0xFFFFFFFFu);  // padding after 4 bytes is zero
    EXPECT_EQ(probe.value(2), 0xABCDu);
    EXPECT_EQ(probe.value(3), ~uint64_t{0});
    EXPECT_EQ(probe.value(4), 0xFFFEu);
    for (uint32_t i = 1; i < 5; ++i) EXPECT_GE(cls->ValueOffset(i), cls->ValueOffset(i - 1) + 8);
}

TEST(EventClassTest, EveryTypeCodeIsWrittenInItsRecordFormat) {
    FieldSpec kind = Enum("KIND", 4, {{0, "SVC"}, {7, "OTHER"}});
    kind.sizeFlags = 0x8001;
    TraceSource source(
        "S", "", {Boolean("FLAG"), Float("RATIO"), Text("NAME"), kind, Signed("LOCAL_TIME", 8)});
    EXPECT_EQ(source.FindField("KIND")->Size(), 0x80010004u);
    EXPECT_EQ(source.FindField("KIND")->EnumConstantAt(1).value, 7u);
    EXPECT_STREQ(source.FindField("KIND")->EnumConstantAt(1).name, "OTHER");
    EXPECT_EQ(source.FindField("kind"), nullptr);
    auto* cls = source.CreateEventClass(0x1F);
    const uint32_t types[] = {ZVT::BOOL, ZVT::FLOAT, ZVT::STRING, ZVT::ENUM, ZVT::SIGNED_INT};
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(cls->FieldOfValueIndex(i)->TypeCode(), types[i]);

    struct Seen {
        bool flag;
        double ratio;
        std::string name;
        uint32_t kind;
        int64_t localTime;
    } seen{};
    auto callback = [](void* user, ZVT::EventClass* c, const uint8_t* record) {
        auto& s = *static_cast<Seen*>(user);
        s.flag = record[c->ValueOffset(0)] != 0;
        std::memcpy(&s.ratio, record + c->ValueOffset(1), 8);
        const char* text = nullptr;
        std::memcpy(&text, record + c->ValueOffset(2), sizeof text);
        s.name = text;
        std::memcpy(&s.kind, record + c->ValueOffset(3), 4);
        std::memcpy(&s.localTime, record + c->ValueOffset(4), 8);
    };
    ASSERT_EQ(cls->RegisterCallback(callback, &seen), 0u);
    source.Emit({{"FLAG", 5}, {"RATIO", 2.5}, {"NAME", "hello"}, {"KIND", 7}, {"LOCAL_TIME", -3}});
    EXPECT_TRUE(seen.flag);
    EXPECT_EQ(seen.ratio, 2.5);
    EXPECT_EQ(seen.name, "hello");
    EXPECT_EQ(seen.kind, 7u);
    EXPECT_EQ(seen.localTime, -3);
    source.Emit({});  // unnamed fields are cleared: STRING becomes the empty text
    EXPECT_FALSE(seen.flag);
    EXPECT_EQ(seen.name, "");
}

TEST(CallbackTest, EveryCallbackOfEveryClassSeesEveryEvent) {
    TraceSource source("INST", "", {Unsigned("PC", 8), Unsigned("ISET", 4)});
    auto* both = source.CreateEventClass(0x3);
    auto* iset = source.CreateEventClass(0x2);
    auto* none = source.CreateEventClass(0);
    CallbackProbe a, b, c, d;
    ASSERT_EQ(both->RegisterCallback(CallbackProbe::Callback, &a), 0u);
    ASSERT_EQ(both->RegisterCallback(CallbackProbe::Callback, &b), 0u);
    ASSERT_EQ(iset->RegisterCallback(CallbackProbe::Callback, &c), 0u);
    ASSERT_EQ(none->RegisterCallback(CallbackProbe::Callback, &d), 0u);
    source.EmitPositional({0x1000, 1});
    source.SetInteger(0, 0x2000);  // positional values persist until changed
    source.SetInteger(1, 2);
    source.Dispatch();
    for (CallbackProbe* p : {&a, &b, &c, &d}) EXPECT_EQ(p->calls(), 2u);
    EXPECT_EQ(a.value(0), 0x2000u);
    EXPECT_EQ(b.value(1), 2u);
    EXPECT_EQ(c.lastClass(), iset);
    EXPECT_EQ(c.value(0), 2u);
    EXPECT_EQ(d.valueCount(), 0u);
    EXPECT_EQ(source.eventCount(), 2u);
}

TEST(CallbackTest, InjectedFailuresAndMisuse) {
    TraceSource source("S", "", {Unsigned("A", 4), Text("T")});
    source.SetFailCreateEventClass(true);
    EXPECT_EQ(source.CreateEventClass(1), nullptr);
    source.SetFailCreateEventClass(false);
    auto* cls = source.CreateEventClass(3);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->RegisterCallback(nullptr, nullptr), plexa::kStatusNullArgument);
    CallbackProbe probe;
    ASSERT_EQ(cls->RegisterCallback(CallbackProbe::Callback, &probe), 0u);
    EXPECT_THROW(source.Emit({{"A", 1}, {"MISSING", 2}}), std::invalid_argument);
    EXPECT_THROW(source.Emit({{"T", 1}}), std::invalid_argument);
    EXPECT_THROW(source.EmitPositional({1, "t", 3}), std::invalid_argument);
    EXPECT_THROW(TraceSource("D", "", {Unsigned("A", 4), Unsigned("A", 8)}), std::invalid_argument);
    EXPECT_EQ(probe.calls(), 0u);
    source.SetFailRegisterCallback(true);
    CallbackProbe refused;
    EXPECT_NE(cls->RegisterCallback(CallbackProbe::Callback, &refused), 0u);
    source.Emit({{"A", 1}});
    EXPECT_EQ(refused.calls(), 0u);
    EXPECT_EQ(probe.calls(), 1u);
}

}  // namespace
}  // namespace kvhost
