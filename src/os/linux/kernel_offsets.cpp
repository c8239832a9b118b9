#include "os/linux/kernel_offsets.h"

#include <array>
#include <limits>

#include "os/linux/linux_messages.h"

namespace vantric {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the text the way formatted stream extraction does: blanks are
// skipped before every item, and the first failure ends the reading.
class OffsetsCursor {
public:
    explicit OffsetsCursor(std::string_view text) : text_(text) {}

    bool failed() const { return failed_; }

    // An unsigned decimal number; leaves `value` untouched on failure.
    bool Number(uint64_t& value) {
        if (!SkipBlanks()) return false;
        size_t digits = 0;
        uint64_t result = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            const uint64_t digit = static_cast<uint64_t>(text_[pos_] - '0');
            if (result > (std::numeric_limits<uint64_t>::max() - digit) / 10) return Fail();
            result = result * 10 + digit;
            ++pos_;
            ++digits;
        }
        if (digits == 0) return Fail();
        value = result;
        return true;
    }

    // The next non-blank character, whatever it is.
    bool Character() {
        if (!SkipBlanks()) return false;
        ++pos_;
        return true;
    }

private:
    bool SkipBlanks() {
        if (failed_) return false;
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
        if (pos_ == text_.size()) return Fail();
        return true;
    }
    bool Fail() {
        failed_ = true;
        return false;
    }

    std::string_view text_;
    size_t pos_ = 0;
    bool failed_ = false;
};

std::array<uint64_t*, KernelOffsets::kSharedValues> SharedValues(KernelOffsets& o) {
    return {&o.taskStateOffset,     &o.taskIoWaitOffset,    &o.switchThreadInfoBias,
            &o.taskMmOffset,        &o.taskThreadIdOffset,  &o.taskProcessIdOffset,
            &o.taskCommOffset,      &o.taskCommLength,      &o.mmExeFileOffset,
            &o.filePathOffset,      &o.pathDentryOffset,    &o.unusedOffset,
            &o.dentryNameOffset,    &o.dentryParentOffset,  &o.nameTextOffset,
            &o.vmaStartOffset,      &o.vmaEndOffset,        &o.vmaFileOffset,
            &o.vmaPageOffsetOffset, &o.vmaTreeNodeOffset,   &o.vmaNextOffset,
            &o.mmTreeRootOffset,    &o.treeRootNodeOffset,  &o.treeRightOffset,
            &o.treeLeftOffset};
}

}  // namespace

bool ParseKernelOffsets(std::string_view text, bool offsets64, KernelOffsets& offsets) {
    offsets = KernelOffsets{};
    OffsetsCursor cursor(text);
    const auto values = SharedValues(offsets);
    for (size_t i = 0; i < values.size(); ++i) {
        if (i != 0) cursor.Character();
        cursor.Number(*values[i]);
    }
    if (cursor.failed()) LinuxWarning(kOffsetsWarning);
    if (offsets64) {
        offsets.threadInfoTaskOffset = 0;
        return true;
    }
    cursor.Number(offsets.threadInfoTaskOffset);
    cursor.Character();
    if (cursor.failed()) {
        LinuxWarning(kOffsetsWarning);
        return false;
    }
    return true;
}

}  // namespace vantric
