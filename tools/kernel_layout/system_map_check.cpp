#include "kernel_layout/system_map_check.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace vantric::layout {
namespace {

constexpr uint64_t kMaxMapSize = uint64_t{1} << 30;
constexpr std::string_view kPlaceholder = "The real System.map is in";

struct Found {
    bool text = false;             // listed as a text symbol
    bool listed = false;           // listed with any type
    uint64_t lowest = UINT64_MAX;  // lowest text address: the one the driver takes
};

}  // namespace

bool CheckSystemMap(const std::string& path, std::string& error) {
    std::error_code failure;
    if (std::filesystem::is_directory(path, failure)) {
        error = path + ": is a directory, not a System.map";
        return false;
    }
    std::ifstream in(path);
    const uint64_t size = std::filesystem::file_size(path, failure);
    if (!in || failure) {
        error = path + ": cannot open the System.map";
        return false;
    }
    if (size > kMaxMapSize) {
        error = path + ": larger than 1 GiB, not a System.map";
        return false;
    }
    static constexpr std::string_view kNames[] = {"__switch_to", "release_task"};
    Found found[2];
    std::string line;
    uint64_t nonZero = 0;
    // Bounded by the file size checked above.
    while (std::getline(in, line)) {
        if (line.find(kPlaceholder) != std::string::npos) {
            error = path + ": a placeholder System.map (\"" + line.substr(line.find(kPlaceholder)) +
                    "\"); give the System.map of that package, or /proc/kallsyms of the running kernel read "
                    "as root";
            return false;
        }
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name) || type.size() != 1) continue;
        uint64_t value = 0;
        try {
            size_t used = 0;
            value = std::stoull(address, &used, 16);
            if (used != address.size()) continue;
        } catch (const std::exception&) {
            continue;
        }
        if (value != 0) ++nonZero;
        for (size_t i = 0; i < 2; ++i) {
            if (name != kNames[i]) continue;
            found[i].listed = true;
            if (type != "T" && type != "t") continue;
            found[i].text = true;
            found[i].lowest = std::min(found[i].lowest, value);
        }
    }
    if (in.bad()) {
        error = path + ": read failed";
        return false;
    }
    static constexpr std::string_view kLack[] = {"no task switches and no samples will be recorded",
                                                 "no thread exits will be recorded"};
    for (size_t i = 0; i < 2; ++i) {
        const std::string name(kNames[i]);
        if (!found[i].text) {
            error = path + ": no text symbol " + name +
                    (found[i].listed ? " (listed, but not as type T or t)" : "") + ": " +
                    std::string(kLack[i]);
            return false;
        }
        if (found[i].lowest == 0) {
            error =
                path + ": " + name + " at address 0" +
                (nonZero == 0 ? " like every symbol: /proc/kallsyms read without privilege; read it as root"
                              : "") +
                ": " + std::string(kLack[i]);
            return false;
        }
    }
    return true;
}

}  // namespace vantric::layout
