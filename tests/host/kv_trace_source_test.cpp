// Event records as a plug-in sees them through the host contract: which
// fields an event class carries for a mask and at which value index, each
// value in its own 8-byte slot after the record header, in its type's format, and the host's
// deliberate refusals that the plug-in's error paths rely on.
#include "kv_trace_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kv_test_support.h"

namespace kvhost {
namespace {

// 40 fields F0..F39; a mask bit selects every field whose index modulo 32 is that bit.
TEST(EventClassTest, CarriesFieldsOfMaskBitsInFieldOrder) {
    std::vector<FieldShape> fields;
    for (uint32_t i = 0; i < 40; ++i) fields.push_back(Unsigned("F" + std::to_string(i), 1u << (i % 4)));
    TraceSource source("S", "", fields);
    const std::pair<uint32_t, std::vector<std::string>> cases[] = {
        {0, {}},
        {1u << 0, {"F0", "F32"}},
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
            // Fields of at most 8 bytes take one slot each, after an 8-byte header.
            EXPECT_EQ(cls->ValueOffset(i), 8 + 8 * std::stoul(carried[i].substr(1))) << mask;
        }
        const auto end = static_cast<uint32_t>(carried.size());
        EXPECT_EQ(cls->FieldOfValueIndex(end), nullptr) << mask;
        EXPECT_EQ(cls->ValueOffset(end), 0xFFFFFFFFu) << mask;
        EXPECT_EQ(cls->GetValueIndex("F2"), 0xFFFFFFFFu) << mask;
    }
    EXPECT_EQ(source.CreateEventClass(1)->GetValueIndex(nullptr), 0xFFFFFFFFu);
}

TEST(EventClassTest, EveryTypeInItsSlotFormat) {
    FieldShape kind = Enum("KIND", 4, {{0, "SVC"}, {7, "OTHER"}});
    kind.sizeFlags = 0x8001;
    TraceSource source("S", "",
                       {Boolean("FLAG"), Float("RATIO"), Text("NAME"), kind, Signed("LOCAL_TIME", 8),
                        Unsigned("A", 1), Signed("B", 4), Signed("E", 2)});
    EXPECT_EQ(source.FindField("KIND")->Size(), 0x80010004u);  // flags above the size
    EXPECT_STREQ(source.FindField("KIND")->EnumConstantAt(1).name, "OTHER");
    auto* cls = source.CreateEventClass(0xFF);

    std::vector<uint8_t> seen;
    auto keep = [](void* user, ZVT::EventClass*, const uint8_t* record) {
        static_cast<std::vector<uint8_t>*>(user)->assign(record + 8, record + 72);
    };
    ASSERT_EQ(cls->RegisterCallback(keep, &seen), 0u);
    source.Emit({{"FLAG", 5}, {"RATIO", 2.5}, {"NAME", "hello"}, {"KIND", 7}, {"LOCAL_TIME", -3},
                 {"A", 0x1FF}, {"B", -1}, {"E", -2}});
    std::vector<uint64_t> slots(8);
    std::memcpy(slots.data(), seen.data(), 64);
    // BOOL 1 for true, 2.5 as a double, a text pointer, -3 in all 8 bytes, values cut to their size.
    EXPECT_EQ(slots, (std::vector<uint64_t>{1, 0x4004000000000000u, slots[2], 7, ~uint64_t{2}, 0xFF, 0xFFFFFFFF, 0xFFFE}));
    EXPECT_STREQ(reinterpret_cast<const char*>(slots[2]), "hello");
    source.Emit({});  // unnamed fields are cleared: STRING becomes the empty text
    std::memcpy(slots.data(), seen.data(), 64);
    EXPECT_STREQ(reinterpret_cast<const char*>(slots[2]), "");
}

TEST(CallbackTest, InjectedFailures) {
    TraceSource source("S", "", {Unsigned("A", 4), Text("T")});
    source.SetFailCreateEventClass(true);
    EXPECT_EQ(source.CreateEventClass(1), nullptr);
    source.SetFailCreateEventClass(false);
    auto* cls = source.CreateEventClass(3);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->RegisterCallback(nullptr, nullptr), plexa::kStatusNullArgument);
    CallbackProbe probe;
    ASSERT_EQ(cls->RegisterCallback(CallbackProbe::Callback, &probe), 0u);
    source.SetFailRegisterCallback(true);
    CallbackProbe refused;
    EXPECT_NE(cls->RegisterCallback(CallbackProbe::Callback, &refused), 0u);
    source.Emit({{"A", 1}});
    EXPECT_EQ(refused.calls(), 0u);
    EXPECT_EQ(probe.calls(), 1u);
}

}  // namespace
}  // namespace kvhost
