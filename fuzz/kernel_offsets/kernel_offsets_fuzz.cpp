// Fuzz target of the kernel offsets text. The input is the text, read in
// both layouts.
//
// Checked against a reference reading (numbers by std::from_chars): the
// result, all 26 values and the number of warnings, in both layouts; the 64-bit
// layout always succeeds, shares its 25 values with the 32-bit one and leaves
// the 26th at 0; and values written back as a text of either layout read the
// same, without a warning.
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "kv_test_support.h"
#include "os/linux/kernel_offsets.h"
#include "os/linux/linux_messages.h"

namespace {

using vantric::KernelOffsets;

void Check(bool holds) {
    if (!holds) std::abort();
}

constexpr size_t kValues = KernelOffsets::kSharedValues + 1;

std::array<uint64_t, kValues> ValuesOf(const KernelOffsets& o) {
    return {
        o.taskStateOffset,    o.taskIoWaitOffset,    o.switchThreadInfoBias, o.taskMmOffset,
        o.taskThreadIdOffset, o.taskProcessIdOffset, o.taskCommOffset,       o.taskCommLength,
        o.mmExeFileOffset,    o.filePathOffset,      o.pathDentryOffset,     o.unusedOffset,
        o.dentryNameOffset,   o.dentryParentOffset,  o.nameTextOffset,       o.vmaStartOffset,
        o.vmaEndOffset,       o.vmaFileOffset,       o.vmaPageOffsetOffset,  o.vmaTreeNodeOffset,
        o.vmaNextOffset,      o.mmTreeRootOffset,    o.treeRootNodeOffset,   o.treeRightOffset,
        o.treeLeftOffset,     o.threadInfoTaskOffset};
}

// What the text should give: the values read before the first failure, the
// result and the warnings.
struct Expected {
    std::array<uint64_t, kValues> values{};
    bool result = false;
    int warnings = 0;
};

class ReferenceCursor {
public:
    explicit ReferenceCursor(std::string_view text) : text_(text) {}
    bool failed() const { return failed_; }

    void Number(uint64_t& value) {
        if (!Blanks()) return;
        uint64_t read = 0;
        const auto [end, error] =
            std::from_chars(text_.data() + pos_, text_.data() + text_.size(), read);
        if (error != std::errc()) {
            failed_ = true;
            return;
        }
        pos_ = static_cast<size_t>(end - text_.data());
        value = read;
    }
    void Character() {
        if (Blanks()) ++pos_;
    }

private:
    bool Blanks() {
        if (failed_) return false;
        const size_t next = text_.find_first_not_of(" \t\n\r\v\f", pos_);
        if (next == std::string_view::npos) failed_ = true;
        pos_ = next;
        return !failed_;
    }

    std::string_view text_;
    size_t pos_ = 0;
    bool failed_ = false;
};

Expected Reference(std::string_view text, bool offsets64) {
    Expected expected;
    ReferenceCursor cursor(text);
    for (size_t i = 0; i < KernelOffsets::kSharedValues; ++i) {
        if (i != 0) cursor.Character();
        cursor.Number(expected.values[i]);
    }
    expected.warnings = cursor.failed() ? 1 : 0;
    if (offsets64) {
        expected.result = true;
        return expected;
    }
    cursor.Number(expected.values[kValues - 1]);
    cursor.Character();
    expected.warnings += cursor.failed() ? 1 : 0;
    expected.result = !cursor.failed();
    return expected;
}

std::string Warnings(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "WARN (" + std::string(vantric::kLinuxComponent) + ") " +
                std::string(vantric::kOffsetsWarning) + "\n";
    }
    return text;
}

// Parses with every value set beforehand, as the reader must start afresh.
KernelOffsets Parse(std::string_view text, bool offsets64, bool& result, std::string& console) {
    KernelOffsets offsets;
    offsets.taskStateOffset = offsets.threadInfoTaskOffset = offsets.treeLeftOffset = 999;
    kvhost::StreamCapture capture;
    result = vantric::ParseKernelOffsets(text, offsets64, offsets);
    console = capture.err();
    return offsets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::array<uint64_t, kValues> layout32{};
    for (bool offsets64 : {false, true}) {
        bool result = false;
        std::string console;
        const std::array<uint64_t, kValues> values =
            ValuesOf(Parse(text, offsets64, result, console));
        const Expected expected = Reference(text, offsets64);
        Check(result == expected.result);
        Check(console == Warnings(expected.warnings));
        Check(values == expected.values);
        if (!offsets64) {
            layout32 = values;
            continue;
        }
        Check(result);
        for (size_t i = 0; i < KernelOffsets::kSharedValues; ++i) Check(values[i] == layout32[i]);
    }

    // Written back: 25 values with ',' between them, then " value26 ;".
    std::string written;
    for (size_t i = 0; i < KernelOffsets::kSharedValues; ++i) {
        written += (i == 0 ? "" : ",") + std::to_string(layout32[i]);
    }
    for (bool offsets64 : {false, true}) {
        const std::string again =
            offsets64 ? written : written + " " + std::to_string(layout32[kValues - 1]) + " ;";
        bool result = false;
        std::string console;
        std::array<uint64_t, kValues> expected = layout32;
        if (offsets64) expected[kValues - 1] = 0;
        Check(ValuesOf(Parse(again, offsets64, result, console)) == expected);
        Check(result && console.empty());
    }
    return 0;
}
