// A small but complete capture written by the real writer, for the rcf tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture_writer.h"

namespace vantric::testing {

// A small but complete capture of one core: a process, a thread, samples,
// a counter, an annotation and a channel.
// Without `describe` the description files stay empty, as before release.
inline void WriteCapture(const std::string& dir, bool describe = true) {
    CaptureWriter writer;
    writer.open(dir, 1);
    writer.writeSummary();
    writer.addCore(0, 3080, "cluster0.cpu0");
    uint32_t cookie = writer.cookieFor(0, 10, 10, 1, "/bin/app");
    writer.writeSwitch(0, 1, cookie, 10, 10, "app", 0);
    const uint32_t cookies[] = {cookie, 0, 0xFFFFFFFF};
    const uint64_t addresses[] = {0x10, 0x20, 0x30};
    writer.writeSample(0, 2, cookie, 10, 10, cookies, addresses);
    writer.writeSample(0, 3, cookie, 10, 11, cookies, addresses);
    writer.writeCounterValue(0, 3, 0, 42);
    writer.writeAnnotation(10, 10, 4, "note");
    writer.writeChannelText(writer.registerChannel("ch"), 1, "t");
    writer.writeIdle(-1, 5, 0);
    if (describe) {
        CounterDescription counter;
        counter.key = 0;
        counter.name = "Instructions";
        writer.writeDescriptions(0, 5, {counter});
    }
}

// Replaces the file's contents, to damage a capture on purpose.
inline void Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vantric::testing
