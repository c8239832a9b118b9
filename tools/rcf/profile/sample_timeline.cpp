#include "rcf/profile/sample_timeline.h"

namespace vantric::rcf {

void SampleTimeline::coarsen() {
    const uint64_t wider = width_ * 2;
    const uint64_t origin = origin_ - origin_ % wider;
    // Written so that nothing overflows: the last bucket ends by 2^64.
    const size_t count = buckets_.empty() ? 0 : (origin_ - origin + (buckets_.size() - 1) * width_) / wider + 1;
    std::vector<std::map<uint32_t, uint64_t>> merged(count);
    for (size_t i = 0; i < buckets_.size(); ++i) {
        auto& into = merged[(origin_ - origin + i * width_) / wider];
        for (const auto& [slot, count] : buckets_[i]) into[slot] += count;
    }
    origin_ = origin;
    width_ = wider;
    buckets_ = std::move(merged);
}

void SampleTimeline::add(uint64_t time, uint32_t slot) {
    if (width_ == 0) {
        width_ = kFirstWidth;
        origin_ = time - time % width_;
    }
    // Widths double from 2^10 and origins stay aligned to them, so this ends
    // by 2^64 at the latest, when one bucket holds every time.
    for (;;) {
        if (time < origin_) {
            const uint64_t missing = (origin_ - time + width_ - 1) / width_;
            if (buckets_.size() + missing <= kMaxBuckets) {
                buckets_.insert(buckets_.begin(), missing, {});
                origin_ -= missing * width_;
                continue;
            }
        } else {
            const uint64_t index = (time - origin_) / width_;
            if (index < kMaxBuckets) {
                if (index >= buckets_.size()) buckets_.resize(index + 1);
                ++buckets_[index][slot];
                return;
            }
        }
        if (width_ > (uint64_t{1} << 62)) {  // cannot double: keep the sample in the nearest
            if (buckets_.empty()) buckets_.resize(1);
            ++(time < origin_ ? buckets_.front() : buckets_.back())[slot];
            return;
        }
        coarsen();
    }
}

}  // namespace vantric::rcf
