#include "kv_test_support.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <system_error>

namespace kvhost {

StreamCapture::StreamCapture()
    : savedOut_(std::cout.rdbuf(out_.rdbuf())), savedErr_(std::cerr.rdbuf(err_.rdbuf())) {}

StreamCapture::~StreamCapture() {
    std::cout.rdbuf(savedOut_);
    std::cerr.rdbuf(savedErr_);
}

void StreamCapture::Clear() {
    out_.str({});
    err_.str({});
}

TempDirectory::TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvhost-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "kvhost: mkdtemp");
    }
    path_ = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void CallbackProbe::Callback(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) {
    auto& probe = *static_cast<CallbackProbe*>(userData);
    ++probe.calls_;
    probe.lastClass_ = eventClass;
    probe.values_.clear();
    for (uint32_t i = 0; eventClass->FieldOfValueIndex(i) != nullptr; ++i) {
        uint64_t slot = 0;
        std::memcpy(&slot, record + eventClass->ValueOffset(i), sizeof slot);
        probe.values_.push_back(slot);
    }
}

}  // namespace kvhost
