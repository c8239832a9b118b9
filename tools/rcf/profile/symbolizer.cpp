#include "rcf/profile/symbolizer.h"

#include <filesystem>

namespace vantric::rcf {

const char* UnresolvedText(Unresolved reason) {
    switch (reason) {
        case Unresolved::kResolved:
            return "resolved";
        case Unresolved::kNoSymbolFile:
            return "no symbol file covers absolute addresses";
        case Unresolved::kNoSysroot:
            return "no --sysroot to find the file in";
        case Unresolved::kNoFile:
            return "no file under the sysroot";
        case Unresolved::kNotElf:
            return "not a readable ELF file";
        case Unresolved::kNoSymbols:
            return "no symbols in the file";
        case Unresolved::kOutsideSymbols:
            return "address outside every symbol";
        case Unresolved::kAnonymous:
            return "anonymous memory (no file)";
        case Unresolved::kUnknownCookie:
            return "cookie without a name";
    }
    return "?";
}

bool Symbolizer::addSymbolFile(const std::string& path, std::string& problem) {
    SymbolFile file;
    if (!file.load(path, problem)) return false;
    addSymbolFile(std::move(file));
    return true;
}

void Symbolizer::addSymbolFile(SymbolFile file) {
    (file.format() == SymbolFile::Format::kAddressMap ? kernel_ : baremetal_).push_back(std::move(file));
}

void Symbolizer::resolveAbsolute(Location& location, SymbolFile::Format format) const {
    const std::vector<SymbolFile>& tables =
        format == SymbolFile::Format::kAddressMap ? kernel_ : baremetal_;
    if (tables.empty()) {
        location.reason = Unresolved::kNoSymbolFile;
        return;
    }
    location.reason = Unresolved::kOutsideSymbols;
    for (const SymbolFile& table : tables) {
        if (const SymbolFile::Symbol* symbol = table.find(location.address)) {
            location.function = symbol->name;
            location.reason = Unresolved::kResolved;
            return;
        }
    }
}

Symbolizer::Image& Symbolizer::image(const std::string& path) {
    std::unique_ptr<Image>& slot = images_[path];
    if (!slot) {
        slot = std::make_unique<Image>();
        slot->status = slot->elf.open(path);
    }
    return *slot;
}

std::optional<std::string> Symbolizer::underSysroot(const std::string& path) const {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(sysroot_).lexically_normal();
    const fs::path file = (root / fs::path(path).relative_path()).lexically_normal();
    // A name with ".." must not lead out of the sysroot.
    const fs::path inside = file.lexically_relative(root);
    if (inside.empty() || *inside.begin() == "..") return std::nullopt;
    return file.string();
}

void Symbolizer::resolveInFile(Location& location, const std::string& path) {
    if (sysroot_.empty()) {
        location.reason = Unresolved::kNoSysroot;
        return;
    }
    const std::optional<std::string> file = underSysroot(path);
    if (!file) {
        location.reason = Unresolved::kNoFile;
        return;
    }
    Image& found = image(*file);
    if (found.status != Unresolved::kResolved) {
        location.reason = found.status;
        return;
    }
    ElfImage::Found hit = found.elf.lookup(location.address);
    location.reason = hit.reason;
    location.function = std::move(hit.function);
    location.sourceFile = std::move(hit.sourceFile);
    location.line = hit.line;
}

void Symbolizer::symbolize(Profile& profile, const std::map<uint32_t, std::string>& cookieNames) {
    std::map<std::string, uint32_t> moduleIndex;
    profile.modules.clear();
    profile.locationModule.assign(profile.locations.size(), 0);
    for (size_t i = 0; i < profile.locations.size(); ++i) {
        Location& location = profile.locations[i];
        location.function.clear();
        location.sourceFile.clear();
        location.line = 0;
        std::string path;  // of an ELF file to look in
        switch (location.kind) {
            case AddressKind::kAbsolute:
                location.module = "[kernel]";
                resolveAbsolute(location, SymbolFile::Format::kAddressMap);
                if (location.reason != Unresolved::kResolved && !baremetal_.empty()) {
                    location.module = "[address]";
                    resolveAbsolute(location, SymbolFile::Format::kFunctionRanges);
                }
                break;
            case AddressKind::kAnonymous:
                location.module = "[anon]";
                location.reason = Unresolved::kAnonymous;
                break;
            case AddressKind::kInFile: {
                auto name = cookieNames.find(location.cookie);
                if (name == cookieNames.end() || name->second.empty()) {
                    location.module = "[cookie " + std::to_string(location.cookie) + "]";
                    location.reason = Unresolved::kUnknownCookie;
                } else if (name->second[0] == '/') {
                    location.module = path = name->second;
                    resolveInFile(location, path);
                } else {
                    // A bare-metal application: its frames are program counters.
                    location.module = name->second;
                    resolveAbsolute(location, SymbolFile::Format::kFunctionRanges);
                }
                break;
            }
        }
        auto [it, added] = moduleIndex.emplace(location.module, static_cast<uint32_t>(profile.modules.size()));
        if (added) {
            Module module;
            module.name = location.module;
            module.lowest = module.highest = location.address;
            profile.modules.push_back(module);
        }
        Module& module = profile.modules[it->second];
        module.lowest = std::min(module.lowest, location.address);
        module.highest = std::max(module.highest, location.address);
        module.hasFunctions |= location.reason == Unresolved::kResolved;
        module.hasLines |= location.line != 0;
        profile.locationModule[i] = it->second;
    }
    // Build ids of the files found, with symbols or without.
    for (Module& module : profile.modules) {
        if (module.name.empty() || module.name[0] != '/' || sysroot_.empty()) continue;
        const std::optional<std::string> file = underSysroot(module.name);
        auto it = file ? images_.find(*file) : images_.end();
        if (it != images_.end()) module.buildId = it->second->elf.buildId();
    }

    SymbolReport& report = profile.symbols;
    report = SymbolReport{};
    report.locations = profile.locations.size();
    for (const Location& location : profile.locations)
        ++report.locationsBy[static_cast<size_t>(location.reason)];
    for (const SampleCount& sample : profile.samples) {
        for (uint32_t id : profile.stacks[sample.stack].locations) {
            const Location& location = profile.locations[id];
            report.frames += sample.count;
            report.framesBy[static_cast<size_t>(location.reason)] += sample.count;
            if (location.reason == Unresolved::kNoFile) report.missingFiles[location.module] += sample.count;
        }
    }
}

}  // namespace vantric::rcf
