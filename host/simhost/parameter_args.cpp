#include "parameter_args.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace simhost {
namespace {

const char* TypeName(ZVT::v0::ParameterType type) {
    switch (type) {
        case ZVT::v0::kParameterText: return "text";
        case ZVT::v0::kParameterBoolean: return "boolean";
        case ZVT::v0::kParameterInteger: return "integer";
        default: return "unknown";
    }
}

// A range starting at 0 or above is unsigned: the plug-in reads the value
// as 64 bits, so a maximum of -1 there means all bits set.
bool IsUnsigned(const ZVT::v0::ParameterInfo& info) { return info.minimum >= 0; }

std::string BoundText(int64_t value, bool isUnsigned) {
    if (isUnsigned && value == -1) return "2^64-1";
    return isUnsigned ? std::to_string(static_cast<uint64_t>(value)) : std::to_string(value);
}

// Decimal or 0x-prefixed hexadecimal within the table's range. An unsigned
// value is stored as its bit pattern (2^64-1 as -1).
bool ParseInteger(const ZVT::v0::ParameterInfo& info, const std::string& text, int64_t& result) {
    if (text.empty() || text[0] == '+' || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    if (IsUnsigned(info)) {
        // strtoull would take "-5" as 2^64-5.
        if (text[0] == '-') return false;
        const unsigned long long value = std::strtoull(begin, &end, 0);
        if (errno != 0 || *end != '\0') return false;
        if (value < static_cast<uint64_t>(info.minimum) || value > static_cast<uint64_t>(info.maximum)) {
            return false;
        }
        result = static_cast<int64_t>(value);
        return true;
    }
    const long long value = std::strtoll(begin, &end, 0);
    if (errno != 0 || *end != '\0' || value < info.minimum || value > info.maximum) return false;
    result = value;
    return true;
}

bool ParseBoolean(const std::string& text, int64_t& result) {
    if (text == "1" || text == "true" || text == "yes" || text == "on") {
        result = 1;
        return true;
    }
    if (text == "0" || text == "false" || text == "no" || text == "off") {
        result = 0;
        return true;
    }
    return false;
}

}  // namespace

ParameterTable ReadParameterTable(ZVT::v0::PluginFactory& factory) {
    ParameterTable table(factory.ParameterCount());
    if (!table.empty() && factory.CopyParameterInfo(table.data()) != plexa::kStatusOk) table.clear();
    return table;
}

bool ParseAssignment(const ParameterTable& table, const std::string& assignment,
                     ZVT::v0::ParameterValue& value, std::string& error) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        error = "parameter '" + assignment + "' needs a value: use -P name=value";
        return false;
    }
    const std::string name = assignment.substr(0, equals);
    const std::string text = assignment.substr(equals + 1);
    for (const ZVT::v0::ParameterInfo& info : table) {
        if (name != info.name) continue;
        std::memset(static_cast<void*>(&value), 0, sizeof value);
        value.id = info.id;
        switch (info.type) {
            case ZVT::v0::kParameterInteger:
                if (!ParseInteger(info, text, value.integerValue)) {
                    error = "parameter '" + name + "' takes an integer from " +
                            BoundText(info.minimum, IsUnsigned(info)) + " to " +
                            BoundText(info.maximum, IsUnsigned(info)) + ", not '" + text + "'";
                    return false;
                }
                return true;
            case ZVT::v0::kParameterBoolean:
                if (!ParseBoolean(text, value.integerValue)) {
                    error = "parameter '" + name + "' takes true or false, not '" + text + "'";
                    return false;
                }
                return true;
            default:
                if (text.size() >= sizeof value.textValue) {
                    error = "parameter '" + name + "' is longer than 1023 characters";
                    return false;
                }
                std::memcpy(value.textValue, text.data(), text.size());
                return true;
        }
    }
    error = "unknown parameter '" + name + "'";
    return false;
}

bool InstanceValues(const ParameterTable& table, const std::vector<std::string>& assignments,
                    std::vector<ZVT::v0::ParameterValue>& values, std::string& error) {
    values.clear();
    for (const ZVT::v0::ParameterInfo& info : table) {
        ZVT::v0::ParameterValue value;
        std::memset(static_cast<void*>(&value), 0, sizeof value);
        value.id = info.id;
        value.integerValue = info.defaultInteger;
        std::memcpy(value.textValue, info.defaultText, sizeof value.textValue);
        value.textValue[sizeof value.textValue - 1] = '\0';
        values.push_back(value);
    }
    for (const std::string& assignment : assignments) {
        ZVT::v0::ParameterValue value;
        if (!ParseAssignment(table, assignment, value, error)) return false;
        values.push_back(value);
    }
    return true;
}

std::string FormatParameterTable(const ParameterTable& table) {
    std::string out;
    char line[2200];
    std::snprintf(line, sizeof line, "%3s  %-22s %-8s %-14s %-10s %s\n", "id", "name", "type",
                  "default", "range", "description");
    out += line;
    for (const ZVT::v0::ParameterInfo& info : table) {
        std::string defaultText;
        std::string range;
        if (info.type == ZVT::v0::kParameterText) {
            defaultText = std::string("\"") + info.defaultText + "\"";
        } else if (info.type == ZVT::v0::kParameterBoolean) {
            defaultText = info.defaultInteger != 0 ? "true" : "false";
        } else {
            const bool isUnsigned = IsUnsigned(info);
            defaultText = BoundText(info.defaultInteger, isUnsigned);
            range = BoundText(info.minimum, isUnsigned) + ".." + BoundText(info.maximum, isUnsigned);
        }
        std::snprintf(line, sizeof line, "%3u  %-22s %-8s %-14s %-10s %s\n", info.id, info.name,
                      TypeName(info.type), defaultText.c_str(), range.c_str(), info.description);
        out += line;
    }
    return out;
}

}  // namespace simhost
