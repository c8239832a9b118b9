// Names the locations of a profile: absolute addresses by System.map or
// kallsyms files (kernel) and bare-metal symbol files, file offsets by the
// ELF files found under a sysroot. A location that keeps no name says why.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rcf/profile/elf_image.h"
#include "rcf/profile/profile.h"
#include "rcf/profile/symbol_file.h"

namespace vantric::rcf {

class Symbolizer {
public:
    // False with `problem` naming the file when it cannot be used.
    bool addSymbolFile(const std::string& path, std::string& problem);
    void addSymbolFile(SymbolFile file);
    void setSysroot(const std::string& directory) { sysroot_ = directory; }

    // Fills every location's module, name and line, the profile's modules and
    // its symbol report. `cookieNames` maps cookies to the names the capture gives them.
    void symbolize(Profile& profile, const std::map<uint32_t, std::string>& cookieNames);

private:
    struct Image {
        Unresolved status = Unresolved::kNoFile;
        ElfImage elf;
    };
    void resolveAbsolute(Location& location, SymbolFile::Format format) const;
    void resolveInFile(Location& location, const std::string& path);
    // The file `path` of the target names below the sysroot; none when it leads out.
    std::optional<std::string> underSysroot(const std::string& path) const;
    Image& image(const std::string& path);

    std::string sysroot_;
    std::vector<SymbolFile> kernel_;     // System.map or kallsyms
    std::vector<SymbolFile> baremetal_;  // name start end
    std::map<std::string, std::unique_ptr<Image>> images_;
};

}  // namespace vantric::rcf
