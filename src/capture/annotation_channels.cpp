#include "capture/annotation_channels.h"

#include <algorithm>

#include "capture/packed_encoding.h"
#include "capture/record_buffer.h"

namespace vantric::capture {
namespace {

constexpr int64_t kChannelBase = 25;
constexpr uint8_t kChannelTextTag = 0x0B;
constexpr uint8_t kActivityTag = 0x0C;
constexpr uint8_t kChannelNameTag = 0x0D;

uint32_t ByteCount(size_t count) {
    return static_cast<uint32_t>(count);
}

}  // namespace

uint32_t AnnotationChannels::registerChannel(FrameFile& external, std::string_view name) {
    auto known = std::find_if(channels_.begin(), channels_.end(),
                              [name](const Channel& channel) { return channel.name == name; });
    if (known != channels_.end()) return static_cast<uint32_t>(known - channels_.begin());

    auto channel = static_cast<uint32_t>(channels_.size());
    channels_.push_back(Channel{std::string(name)});

    RecordBuffer record(external);
    if (!streamHeaderWritten_) {
        record.string("ANNOTATE 2\n");
        record.u32le(0);
        record.u32le(0);
        streamHeaderWritten_ = true;
    }
    int64_t index = Widen32(channel + kChannelBase);
    record.byte(kChannelNameTag);
    record.u32le(ByteCount(PackedSize(index) + name.size()));
    record.packed(index);
    record.raw(name);
    return channel;
}

uint32_t AnnotationChannels::writeText(FrameFile& external, uint32_t channel, uint32_t value,
                                       std::string_view text) {
    if (channel >= channels_.size()) return 0;
    uint32_t sequence = channels_[channel].nextText++;
    int64_t index = Widen32(channel + kChannelBase);
    RecordBuffer record(external);
    record.byte(kChannelTextTag);
    record.u32le(ByteCount(PackedSize(index) + PackedSize(Widen32(sequence)) +
                           PackedSize(Widen32(value)) + text.size()));
    record.packed(index);
    record.packed32(sequence);
    record.packed32(value);
    record.raw(text);
    return sequence;
}

uint32_t AnnotationChannels::writeActivity(FrameFile& external, uint32_t channel,
                                           uint32_t relatedId, uint64_t startTime,
                                           uint64_t duration, uint32_t colour, uint32_t value,
                                           std::span<const uint32_t> linkedIds,
                                           std::string_view text) {
    if (channel >= channels_.size()) return 0;
    uint32_t sequence = channels_[channel].nextActivity++;
    int64_t index = Widen32(channel + kChannelBase);
    auto links = static_cast<int64_t>(linkedIds.size());
    size_t count = PackedSize(index) + PackedSize(Widen32(sequence)) +
                   PackedSize(Widen32(relatedId)) + PackedSize(Widen64(startTime)) +
                   PackedSize(Widen64(duration)) + 4 + PackedSize(Widen32(value)) +
                   PackedSize(links) + text.size();
    for (uint32_t id : linkedIds) count += PackedSize(Widen32(id));

    RecordBuffer record(external);
    record.byte(kActivityTag);
    record.u32le(ByteCount(count));
    record.packed(index);
    record.packed32(sequence);
    record.packed32(relatedId);
    record.packed64(startTime);
    record.packed64(duration);
    record.u32le(colour);
    record.packed32(value);
    record.packed(links);
    for (uint32_t id : linkedIds) record.packed32(id);
    record.raw(text);
    return sequence;
}

}  // namespace vantric::capture
