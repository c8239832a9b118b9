#include "gdb_target.h"

#include <algorithm>
#include <cstdio>

namespace qemuhost {
namespace {

std::string Hex(uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

bool GdbTarget::Refused(const std::string& command, const std::string& reply) {
    error_ = "the gdbstub answered '" + command + "' with '" + reply.substr(0, 60) + "'";
    return false;
}

bool GdbTarget::Expect(const std::string& command, std::string_view wanted) {
    const std::optional<std::string> reply = remote_.Request(command);
    if (!reply) return false;
    return *reply == wanted || Refused(command, *reply);
}

bool GdbTarget::ReadFeatureDocument(const std::string& annex, std::string& text) {
    text.clear();
    // Ask for what fits a reply packet; the stub may send less.
    const size_t chunk = remote_.packetSize() > 16 ? remote_.packetSize() - 16 : 64;
    while (text.size() <= kMaxDocument) {
        const std::string command =
            "qXfer:features:read:" + annex + ":" + Hex(text.size()) + "," + Hex(chunk);
        const std::optional<std::string> reply = remote_.Request(command);
        if (!reply) return false;
        if (reply->empty() || (reply->front() != 'm' && reply->front() != 'l')) return Refused(command, *reply);
        text.append(*reply, 1);
        if (reply->front() == 'l') return true;
        if (reply->size() == 1) return Refused(command, *reply);  // 'm' with nothing: no progress
    }
    error_ = annex + " is longer than " + std::to_string(kMaxDocument) + " bytes";
    return false;
}

bool GdbTarget::LoadTargetDescription(TargetDescription& description) {
    std::string target;
    if (!ReadFeatureDocument("target.xml", target)) return false;
    std::string problem;
    if (!description.AddFeature(target, problem)) {
        error_ = "target.xml: " + problem;
        return false;
    }
    const std::vector<std::string> includes = TargetDescription::Includes(target);
    if (includes.size() > kMaxDocuments) {
        error_ = "target.xml includes more than " + std::to_string(kMaxDocuments) + " documents";
        return false;
    }
    for (const std::string& annex : includes) {
        std::string text;
        if (!ReadFeatureDocument(annex, text)) return false;
        if (!description.AddFeature(text, problem)) {
            error_ = annex + ": " + problem;
            return false;
        }
    }
    return true;
}

std::optional<std::vector<uint32_t>> GdbTarget::Threads() {
    std::vector<uint32_t> threads;
    std::string command = "qfThreadInfo";
    for (size_t round = 0; round <= kMaxThreads; ++round) {
        const std::optional<std::string> reply = remote_.Request(command);
        if (!reply) return std::nullopt;
        if (*reply == "l") return threads;
        if (reply->empty() || reply->front() != 'm') {
            Refused(command, *reply);
            return std::nullopt;
        }
        std::string_view list = std::string_view(*reply).substr(1);
        while (!list.empty()) {
            const size_t comma = list.find(',');
            std::string_view item = list.substr(0, comma);
            if (!item.empty() && item.front() == 'p') item.remove_prefix(std::min(item.size(), item.find('.') + 1));
            uint64_t id = 0;
            if (!ParseHexNumber(item, id) || id == 0 || id > UINT32_MAX || threads.size() == kMaxThreads) {
                Refused(command, *reply);
                return std::nullopt;
            }
            threads.push_back(static_cast<uint32_t>(id));
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
        command = "qsThreadInfo";
    }
    error_ = "the gdbstub lists more than " + std::to_string(kMaxThreads) + " threads";
    return std::nullopt;
}

std::optional<StopReply> GdbTarget::QueryStop() {
    const std::optional<std::string> reply = remote_.Request("?");
    if (!reply) return std::nullopt;
    std::optional<StopReply> stop = StopReply::Parse(*reply);
    if (!stop) Refused("?", *reply);
    return stop;
}

bool GdbTarget::SelectThread(uint32_t thread) {
    if (selected_ == thread) return true;
    if (!Expect("Hg" + Hex(thread), "OK")) return false;
    selected_ = thread;
    return true;
}

std::optional<std::vector<uint8_t>> GdbTarget::ReadCoreRegisters() {
    const std::optional<std::string> reply = remote_.Request("g");
    if (!reply) return std::nullopt;
    std::vector<uint8_t> bytes;
    if (reply->empty() || reply->front() == 'E' || !ParseHexBytes(*reply, bytes)) {
        Refused("g", *reply);
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> GdbTarget::ReadRegister(uint32_t number) {
    const std::string command = "p" + Hex(number);
    const std::optional<std::string> reply = remote_.Request(command);
    if (!reply) return std::nullopt;
    std::vector<uint8_t> bytes;
    if (reply->empty() || (reply->size() == 3 && reply->front() == 'E') || !ParseHexBytes(*reply, bytes)) {
        Refused(command, *reply);
        return std::nullopt;
    }
    return bytes;
}

bool GdbTarget::WriteRegister(uint32_t number, std::span<const uint8_t> bytes) {
    return Expect("P" + Hex(number) + "=" + HexBytes(bytes), "OK");
}

bool GdbTarget::ReadMemory(uint64_t address, std::span<uint8_t> out) {
    // Each reply carries two hex digits per byte within the packet size.
    const size_t chunk = std::max<size_t>(1, std::min(kMaxMemoryChunk, (remote_.packetSize() - 8) / 2));
    for (size_t done = 0; done < out.size();) {
        const size_t length = std::min(chunk, out.size() - done);
        const std::string command = "m" + Hex(address + done) + "," + Hex(length);
        const std::optional<std::string> reply = remote_.Request(command);
        if (!reply) return false;
        std::vector<uint8_t> bytes;
        if (!ParseHexBytes(*reply, bytes) || bytes.size() != length) return Refused(command, *reply);
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(done));
        done += length;
    }
    return true;
}

bool GdbTarget::SetPhysicalMemoryMode(bool physical) {
    return Expect(std::string("Qqemu.PhyMemMode:") + (physical ? "1" : "0"), "OK");
}

bool GdbTarget::InsertBreakpoint(uint64_t address) { return Expect("Z0," + Hex(address) + ",4", "OK"); }

bool GdbTarget::RemoveBreakpoint(uint64_t address) { return Expect("z0," + Hex(address) + ",4", "OK"); }

bool GdbTarget::Continue() {
    selected_ = 0;
    return remote_.Send("vCont;c");
}

std::optional<StopReply> GdbTarget::Step(uint32_t thread, int timeoutMs) {
    selected_ = 0;
    if (!remote_.Send("vCont;s:" + Hex(thread))) return std::nullopt;
    std::string reply;
    for (int packets = 0; packets < 16; ++packets) {
        switch (remote_.WaitPacket(reply, timeoutMs)) {
        case GdbRemote::Wait::kPacket:
            if (std::optional<StopReply> stop = StopReply::Parse(reply)) return stop;
            continue;  // console output and the like
        case GdbRemote::Wait::kTimeout:
            error_ = "a single step of thread " + std::to_string(thread) + " did not stop within " +
                     std::to_string(timeoutMs) + " ms";
            return std::nullopt;
        case GdbRemote::Wait::kFailed:
            return std::nullopt;
        }
    }
    error_ = "no stop reply after a single step";
    return std::nullopt;
}

}  // namespace qemuhost
