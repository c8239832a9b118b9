// The external annotation channels of a capture. A channel is named once in
// the external frame and referred to afterwards by its index + 25; its text
// and activity records are numbered separately. Every record carries the
// exact byte count of what follows that count, so a reader can skip it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_file.h"

namespace vantric::capture {

class AnnotationChannels {
public:
    // The index of channel `name`. A new channel is announced in `external`,
    // the first one after the stream header.
    uint32_t registerChannel(FrameFile& external, std::string_view name);

    // Each gives the sequence number it used; an unknown channel is ignored
    // (giving 0).
    uint32_t writeText(FrameFile& external, uint32_t channel, uint32_t value,
                       std::string_view text);
    uint32_t writeActivity(FrameFile& external, uint32_t channel, uint32_t relatedId,
                           uint64_t startTime, uint64_t duration, uint32_t colour, uint32_t value,
                           std::span<const uint32_t> linkedIds, std::string_view text);

private:
    struct Channel {
        std::string name;
        uint32_t nextText = 0;
        uint32_t nextActivity = 0;
    };

    std::vector<Channel> channels_;
    bool streamHeaderWritten_ = false;
};

}  // namespace vantric::capture
