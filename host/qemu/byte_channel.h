// A bidirectional byte stream with a read timeout: the gdb connection, or a
// scripted stand-in in the tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qemuhost {

class ByteChannel {
public:
    enum class ReadResult { kData, kTimeout, kClosed };

    virtual ~ByteChannel() = default;
    // False when the peer is gone; error() says why.
    virtual bool Write(std::string_view bytes) = 0;
    // Appends what arrives within `timeoutMs` (at least one byte for kData).
    virtual ReadResult Read(std::string& into, int timeoutMs) = 0;
    virtual std::string error() const = 0;
};

}  // namespace qemuhost
