// Sample counts over time at a resolution that coarsens as the capture
// grows, so a capture of any length costs at most kMaxBuckets buckets:
// bucket i covers [origin + i * width, origin + (i + 1) * width).
// The report's time-range selection counts samples from these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace vantric::rcf {

class SampleTimeline {
public:
    static constexpr size_t kMaxBuckets = 1024;
    static constexpr uint64_t kFirstWidth = 1024;  // ns

    // One sample of `slot` (an index the caller gives meaning to) at `time`.
    void add(uint64_t time, uint32_t slot);

    uint64_t origin() const { return origin_; }
    uint64_t width() const { return width_; }
    // Per bucket, slot -> samples; empty before the first sample.
    const std::vector<std::map<uint32_t, uint64_t>>& buckets() const { return buckets_; }

private:
    void coarsen();

    uint64_t origin_ = 0;
    uint64_t width_ = 0;
    std::vector<std::map<uint32_t, uint64_t>> buckets_;
};

}  // namespace vantric::rcf
