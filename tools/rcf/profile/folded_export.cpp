#include "rcf/profile/folded_export.h"

#include <map>

#include "rcf/profile/text_format.h"

namespace vantric::rcf {

void WriteFolded(const Profile& profile, OutputStream& out) {
    std::vector<uint64_t> perStack(profile.stacks.size(), 0);
    for (const SampleCount& sample : profile.samples) perStack[sample.stack] += sample.count;
    // Different locations may share a name; their lines merge.
    std::map<std::string, uint64_t> lines;
    for (size_t s = 0; s < profile.stacks.size(); ++s) {
        if (perStack[s] == 0) continue;
        const std::vector<uint32_t>& ids = profile.stacks[s].locations;
        std::string line;
        for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
            if (!line.empty()) line += ';';
            line += FoldedName(LocationName(profile.locations[*it]));
        }
        lines[line] += perStack[s];
    }
    for (const auto& [stack, count] : lines) {
        out.write(stack);
        out.write(" " + std::to_string(count) + "\n");
    }
}

}  // namespace vantric::rcf
