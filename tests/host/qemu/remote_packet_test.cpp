#include "remote_packet.h"

#include <gtest/gtest.h>

namespace qemuhost {
namespace {

TEST(RemotePacket, EncodesWithChecksumAndEscapes) {
    struct Case {
        std::string payload;
        std::string framed;
    };
    // Checksums summed by hand: 'O'+'K' = 0x4f+0x4b = 0x9a; 'g' = 0x67;
    // "}\x04" = 0x7d+0x04 = 0x81 ('$' escaped); "}\x03" = 0x80 ('#').
    const Case cases[] = {
        {"OK", "$OK#9a"},
        {"g", "$g#67"},
        {"", "$#00"},
        {"$", "$}\x04#81"},
        {"#", "$}\x03#80"},
        {"}", "$}]#da"},
        {"*", "$}\x0a#87"},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodePacket(c.payload), c.framed) << c.payload;
}

TEST(RemotePacket, ReaderDecodesWhateverTheSplit) {
    struct Case {
        const char* name;
        std::string stream;
        std::vector<PacketReader::Kind> kinds;
        std::vector<std::string> payloads;
    };
    using K = PacketReader::Kind;
    const Case cases[] = {
        // Recorded from QEMU 7.2: its qSupported answer after the '+'.
        {"recorded qSupported", "+$PacketSize=1000;qXfer:features:read+;vContSupported+;multiprocess+#92",
         {K::kAck, K::kPacket}, {"", "PacketSize=1000;qXfer:features:read+;vContSupported+;multiprocess+"}},
        {"stop reply", "$T05thread:01;#07", {K::kPacket}, {"T05thread:01;"}},
        // "0* " is four zeros: ' ' is 32, a run of 32-29 = 3 more.
        {"run length", "$0* #7a", {K::kPacket}, {"0000"}},
        {"escaped run", "$}]*!#25", {K::kPacket}, {"}}}}}"}},
        {"bad checksum", "$OK#00", {K::kBadPacket}, {"checksum mismatch"}},
        {"noise and nak", "xx-$OK#9a", {K::kNak, K::kPacket}, {"", "OK"}},
        {"notification", "%Stop:T05#99", {K::kNotification}, {"Stop:T05"}},
        {"run without character", "$*!#4b", {K::kBadPacket}, {"malformed escape or run length"}},
    };
    for (const Case& c : cases) {
        for (size_t split = 0; split <= c.stream.size(); ++split) {
            PacketReader reader;
            reader.Feed(std::string_view(c.stream).substr(0, split));
            reader.Feed(std::string_view(c.stream).substr(split));
            PacketReader::Event event;
            for (size_t i = 0; i < c.kinds.size(); ++i) {
                ASSERT_TRUE(reader.Next(event)) << c.name << " split " << split;
                EXPECT_EQ(event.kind, c.kinds[i]) << c.name;
                EXPECT_EQ(event.payload, c.payloads[i]) << c.name;
            }
            EXPECT_FALSE(reader.Next(event)) << c.name;
        }
    }
}

TEST(RemotePacket, OverlongPacketIsRefusedNotStored) {
    PacketReader reader;
    reader.Feed("$");
    reader.Feed(std::string(PacketReader::kMaxPayload + 10, 'a'));
    reader.Feed("#00$OK#9a");
    PacketReader::Event event;
    ASSERT_TRUE(reader.Next(event));
    EXPECT_EQ(event.kind, PacketReader::Kind::kBadPacket);
    ASSERT_TRUE(reader.Next(event));
    EXPECT_EQ(event.payload, "OK");
}

TEST(RemotePacket, RunLengthExpansionIsBounded) {
    EXPECT_FALSE(DecodePacketBody("a*~*~*~", 100));  // 1 + 3 * 97 bytes
    EXPECT_EQ(DecodePacketBody("a*~", 100)->size(), 98u);
}

TEST(RemotePacket, HexNumbersAndRegisterValues) {
    uint64_t value = 0;
    EXPECT_TRUE(ParseHexNumber("ffff800008bb50f0", value));
    EXPECT_EQ(value, 0xffff800008bb50f0ull);
    EXPECT_TRUE(ParseHexNumber("00000000000000001", value));  // leading zeros beyond 16 digits
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(ParseHexNumber("1ffff800008bb50f0", value));
    EXPECT_FALSE(ParseHexNumber("", value));
    EXPECT_FALSE(ParseHexNumber("12g", value));
    // QEMU's answer for pc = 0xffff800008bb50f0, little-endian bytes.
    EXPECT_EQ(LittleEndianHexValue("f050bb080080ffff"), 0xffff800008bb50f0ull);
    EXPECT_EQ(LittleEndianHexValue("c5030040"), 0x400003c5u);
    EXPECT_FALSE(LittleEndianHexValue("E14"));
    EXPECT_FALSE(LittleEndianHexValue("001122334455667788"));
    const uint8_t bytes[] = {0x00, 0xab, 0x7f};
    EXPECT_EQ(HexBytes(bytes), "00ab7f");
}

}  // namespace
}  // namespace qemuhost
