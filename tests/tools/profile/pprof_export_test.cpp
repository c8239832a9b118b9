// The pprof encoding decoded back with a reader of our own, field by field
// against profile.proto's numbers.
#include "rcf/profile/pprof_export.h"

#include <gtest/gtest.h>

#include <map>

#include "fixture_capture.h"
#include "support/test_support.h"

namespace vantric::rcf {
namespace {

// One decoded message: field number -> values (varints) or bytes (length-delimited).
struct Message {
    std::multimap<uint32_t, uint64_t> numbers;
    std::multimap<uint32_t, std::string> bytes;
    std::vector<uint64_t> all(uint32_t field) const {
        std::vector<uint64_t> out;
        for (auto [it, end] = numbers.equal_range(field); it != end; ++it) out.push_back(it->second);
        return out;
    }
    std::vector<std::string> each(uint32_t field) const {
        std::vector<std::string> out;
        for (auto [it, end] = bytes.equal_range(field); it != end; ++it) out.push_back(it->second);
        return out;
    }
    uint64_t one(uint32_t field) const {
        auto v = all(field);
        return v.size() == 1 ? v[0] : ~uint64_t{0};
    }
};

uint64_t Varint(const std::string& data, size_t& at) {
    uint64_t value = 0;
    for (int shift = 0; at < data.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<uint8_t>(data[at++]);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return value;
    }
    ADD_FAILURE() << "bad varint";
    return 0;
}

Message Decode(const std::string& data) {
    Message m;
    for (size_t at = 0; at < data.size();) {
        const uint64_t key = Varint(data, at);
        if ((key & 7) == 0) {
            m.numbers.emplace(static_cast<uint32_t>(key >> 3), Varint(data, at));
        } else if ((key & 7) == 2) {
            const uint64_t size = Varint(data, at);
            m.bytes.emplace(static_cast<uint32_t>(key >> 3), data.substr(at, size));
            at += size;
        } else {
            ADD_FAILURE() << "wire type " << (key & 7);
            break;
        }
    }
    return m;
}

std::vector<uint64_t> Packed(const std::string& data) {
    std::vector<uint64_t> out;
    for (size_t at = 0; at < data.size();) out.push_back(Varint(data, at));
    return out;
}

TEST(PprofExport, DecodesFieldByField) {
    vantric::testing::TempDirectory temp;
    testing::WriteFixtureCapture(temp.path() / "f.rcf");
    const Message profile = Decode(EncodePprof(testing::FixtureProfile(temp.path() / "f.rcf")));
    const std::vector<std::string> strings = profile.each(6);
    ASSERT_FALSE(strings.empty());
    EXPECT_EQ(strings[0], "");
    auto text = [&](uint64_t index) { return index < strings.size() ? strings[index] : "<bad index>"; };

    // sample_type: samples/count, cpu/nanoseconds; period_type and period.
    const auto types = profile.each(1);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(text(Decode(types[0]).one(1)) + "/" + text(Decode(types[0]).one(2)), "samples/count");
    EXPECT_EQ(text(Decode(types[1]).one(1)) + "/" + text(Decode(types[1]).one(2)), "cpu/nanoseconds");
    EXPECT_EQ(text(Decode(profile.each(11).at(0)).one(2)), "nanoseconds");
    EXPECT_EQ(profile.one(12), 1000u);

    // Locations: ids 1..6 in the order met, each with its mapping and address.
    std::map<uint64_t, Message> locations;
    for (const std::string& l : profile.each(4)) {
        Message m = Decode(l);
        EXPECT_TRUE(locations.emplace(m.one(1), m).second) << "duplicate location id";
    }
    const std::vector<std::pair<uint64_t, uint64_t>> addresses = {
        {1, 0xffff0010}, {2, 0xffff0100}, {3, 0x40}, {4, 0x7fff0000}, {5, 0xffff0150}, {6, 0xffff0300}};
    ASSERT_EQ(locations.size(), addresses.size());
    for (auto [id, address] : addresses) EXPECT_EQ(locations[id].one(3), address) << id;
    EXPECT_EQ(locations[3].each(4).size(), 0u);  // unresolved: no line

    // Functions by id; location 1 names "odd;name" with U+FFFD for the bad byte.
    std::map<uint64_t, std::string> functions;
    for (const std::string& f : profile.each(5)) functions[Decode(f).one(1)] = text(Decode(f).one(2));
    EXPECT_EQ(functions[Decode(locations[1].each(4).at(0)).one(1)], "odd;name\xEF\xBF\xBD");
    EXPECT_EQ(functions[Decode(locations[5].each(4).at(0)).one(1)], "kfunc_b");
    EXPECT_EQ(functions.count(0), 0u);

    // Mappings: file, kernel and anonymous, ids from 1.
    std::map<std::string, Message> mappings;
    for (const std::string& m : profile.each(3)) mappings[text(Decode(m).one(5))] = Decode(m);
    ASSERT_EQ(mappings.count("/bin/app"), 1u);
    EXPECT_EQ(mappings["/bin/app"].one(2), 0u);  // file offsets: the file maps from 0
    EXPECT_EQ(mappings["[kernel]"].one(2), 0xffff0010u);
    EXPECT_EQ(mappings["[kernel]"].one(3), 0xffff0301u);
    EXPECT_EQ(mappings["[kernel]"].one(7), 1u);  // has_functions
    EXPECT_EQ(locations[3].one(2), mappings["/bin/app"].one(1));

    // Samples: (leaf-first location ids, count, ns, pid, tid, core, thread).
    using Row = std::tuple<std::vector<uint64_t>, std::vector<uint64_t>, uint64_t, uint64_t, uint64_t, std::string>;
    const std::vector<Row> expected = {
        {{1, 2}, {2, 2000}, 10, 10, 0, "main"},
        {{3, 4}, {1, 1000}, 10, 11, 0, "we\"ird\x01\xEF\xBF\xBD\n"},
        {{5}, {1, 1000}, 10, 10, 0, "main"},
        {{6}, {1, 1000}, 0, 12, 1, "tid 12"},
    };
    const auto samples = profile.each(2);
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const Message s = Decode(samples[i]);
        std::map<std::string, uint64_t> numbers;
        std::string thread;
        for (const std::string& l : s.each(3)) {
            const Message label = Decode(l);
            if (label.numbers.count(3) != 0) {
                numbers[text(label.one(1))] = label.one(3);
                // A zero would be dropped without its unit.
                EXPECT_EQ(text(label.one(4)), text(label.one(1)) == "core" ? "index" : "id");
            } else {
                thread = text(label.one(2));
            }
        }
        // A zero value is not written on the wire: absent means 0.
        auto number = [&](const char* key) { return numbers.count(key) != 0 ? numbers[key] : 0; };
        EXPECT_EQ(numbers.size(), 3u) << i;
        EXPECT_EQ(Row(Packed(s.each(1).at(0)), Packed(s.each(2).at(0)), number("pid"), number("tid"),
                      number("core"), thread),
                  expected[i])
            << i;
    }
    ASSERT_EQ(profile.all(13).size(), 1u);
    EXPECT_EQ(text(profile.one(13)).rfind("symbols: frames 8, resolved 5, unresolved 3", 0), 0u);
}

}  // namespace
}  // namespace vantric::rcf
