#include "target_description.h"

#include <cctype>

namespace qemuhost {
namespace {

// The value of `name="..."` inside one element's text; false when absent.
bool Attribute(std::string_view element, std::string_view name, std::string& value) {
    size_t at = 0;
    while ((at = element.find(name, at)) != std::string_view::npos) {
        const bool starts = at > 0 && std::isspace(static_cast<unsigned char>(element[at - 1]));
        const size_t quote = at + name.size() + 1;
        if (starts && quote < element.size() && element[at + name.size()] == '=' &&
            (element[quote] == '"' || element[quote] == '\'')) {
            const size_t end = element.find(element[quote], quote + 1);
            if (end == std::string_view::npos) return false;
            value.assign(element.substr(quote + 1, end - quote - 1));
            return true;
        }
        at += name.size();
    }
    return false;
}

bool Decimal(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Each "<tag ...>" element in turn.
template <typename Visit>
bool ForEachElement(std::string_view xml, std::string_view tag, Visit visit) {
    const std::string open = "<" + std::string(tag);
    size_t at = 0;
    while ((at = xml.find(open, at)) != std::string_view::npos) {
        const size_t after = at + open.size();
        if (after < xml.size() && !std::isspace(static_cast<unsigned char>(xml[after]))) {
            at = after;
            continue;
        }
        const size_t end = xml.find('>', after);
        if (end == std::string_view::npos) return false;
        if (!visit(xml.substr(at, end - at))) return false;
        at = end;
    }
    return true;
}

}  // namespace

bool TargetDescription::AddFeature(std::string_view xml, std::string& error) {
    const bool complete = ForEachElement(xml, "reg", [&](std::string_view element) {
        RegisterDescription reg;
        std::string text;
        if (!Attribute(element, "name", reg.name) || reg.name.empty()) {
            error = "a <reg> without a name";
            return false;
        }
        if (!Attribute(element, "bitsize", text) || !Decimal(text, reg.bits) || reg.bits == 0) {
            error = "register " + reg.name + " without a usable bitsize";
            return false;
        }
        reg.number = next_;
        if (Attribute(element, "regnum", text) && !Decimal(text, reg.number)) {
            error = "register " + reg.name + " with regnum '" + text + "'";
            return false;
        }
        if (registers_.size() == kMaxRegisters) {
            error = "more than " + std::to_string(kMaxRegisters) + " registers";
            return false;
        }
        next_ = reg.number + 1;
        registers_.push_back(std::move(reg));
        return true;
    });
    if (!complete && error.empty()) error = "an element that does not end";
    return complete;
}

std::vector<std::string> TargetDescription::Includes(std::string_view xml) {
    std::vector<std::string> files;
    ForEachElement(xml, "xi:include", [&](std::string_view element) {
        std::string href;
        if (Attribute(element, "href", href) && !href.empty()) files.push_back(href);
        return true;
    });
    return files;
}

const RegisterDescription* TargetDescription::Find(std::string_view name) const {
    for (const RegisterDescription& reg : registers_) {
        if (SameName(reg.name, name)) return &reg;
    }
    return nullptr;
}

const RegisterDescription* TargetDescription::FindAny(std::initializer_list<std::string_view> names) const {
    for (std::string_view name : names) {
        if (const RegisterDescription* reg = Find(name)) return reg;
    }
    return nullptr;
}

}  // namespace qemuhost
