#include "json/json_stream_reader.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace vq {

JSONStreamReader::JSONStreamReader(std::istream& input)
    : input_(input), buffer_(input.good() ? input.rdbuf() : nullptr) {}

void JSONStreamReader::error(const char* message) {
    // Formatted by hand and written at once: abandoned alternatives log at
    // every '{' and '[', so this runs often.
    char numbers[2][std::numeric_limits<uint32_t>::digits10 + 2];
    const char* lineEnd = std::to_chars(numbers[0], numbers[0] + sizeof numbers[0], line_).ptr;
    const char* columnEnd = std::to_chars(numbers[1], numbers[1] + sizeof numbers[1], column_).ptr;
    std::string entry;
    entry.reserve(64);
    entry.append("Error: ").append(message).append("\nat line ");
    entry.append(numbers[0], static_cast<std::size_t>(lineEnd - numbers[0])).append(" column ");
    entry.append(numbers[1], static_cast<std::size_t>(columnEnd - numbers[1])).push_back('\n');
    log_.write(entry.data(), static_cast<std::streamsize>(entry.size()));
}

bool ReadJSONFile(const std::string& path, JSONValue& value, std::string& problem) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        problem = " : it is a directory";
        return false;
    }
    std::ifstream input(path, std::ios::binary);
    try {
        JSONStreamReader reader(input);
        return input.is_open() && parseJSON(reader, value);
    } catch (const std::ios_base::failure&) {
        problem = " : read error";
        return false;
    }
}

}  // namespace vq
