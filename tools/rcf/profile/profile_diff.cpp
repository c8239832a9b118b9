#include "rcf/profile/profile_diff.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <tuple>

#include "rcf/profile/text_format.h"

namespace vantric::rcf {
namespace {

struct Counts {
    uint64_t self = 0;
    uint64_t total = 0;
};

// Self and total samples per display name. Locations sharing a name count as
// one function, and a name deep in a stack more than once counts once.
std::map<std::string, Counts> FunctionCounts(const Profile& profile) {
    std::map<std::string, uint32_t> nameIds;
    std::vector<uint32_t> nameOf(profile.locations.size());
    for (size_t l = 0; l < profile.locations.size(); ++l)
        nameOf[l] = nameIds.emplace(LocationName(profile.locations[l]), nameIds.size()).first->second;

    std::vector<uint64_t> perStack(profile.stacks.size(), 0);
    std::vector<bool> sampled(profile.stacks.size(), false);
    for (const SampleCount& sample : profile.samples) {
        if (sample.stack >= profile.stacks.size()) continue;
        perStack[sample.stack] += sample.count;
        sampled[sample.stack] = true;
    }
    std::vector<Counts> byId(nameIds.size());
    std::vector<bool> present(nameIds.size(), false);
    std::vector<uint32_t> ids;
    for (size_t s = 0; s < profile.stacks.size(); ++s) {
        if (!sampled[s]) continue;
        ids.clear();
        for (uint32_t location : profile.stacks[s].locations)
            if (location < nameOf.size()) ids.push_back(nameOf[location]);
        if (ids.empty()) continue;
        byId[ids.front()].self += perStack[s];
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        for (uint32_t id : ids) {
            byId[id].total += perStack[s];
            present[id] = true;
        }
    }
    std::map<std::string, Counts> counts;
    for (const auto& [name, id] : nameIds)
        if (present[id]) counts.emplace(name, byId[id]);
    return counts;
}

// Samples per "process/thread"; tids differ between runs, names do not.
std::map<std::string, uint64_t> ThreadCounts(const Profile& profile) {
    std::map<std::string, uint64_t> counts;
    for (const auto& [tid, thread] : profile.threads) {
        auto process = profile.processes.find(thread.pid);
        std::string key = process != profile.processes.end() ? process->second.name
                                                              : "pid " + std::to_string(thread.pid);
        counts[key + "/" + thread.name] += thread.samples;
    }
    return counts;
}

using Wide = unsigned __int128;

// |countB / samplesB - countA / samplesA| scaled by a factor common to every
// row of the pair, so rows compare exactly where doubles could tie unevenly.
Wide ChangeKey(uint64_t countA, uint64_t samplesA, uint64_t countB, uint64_t samplesB) {
    // Both shares over samplesA * samplesB, a side without samples taken as
    // one sample: its share is 0 whatever its counts say.
    const Wide a = samplesA == 0 ? 0 : Wide{countA} * std::max<uint64_t>(samplesB, 1);
    const Wide b = samplesB == 0 ? 0 : Wide{countB} * std::max<uint64_t>(samplesA, 1);
    return a > b ? a - b : b - a;
}

// Names end the lines of the text: no line ends or other control bytes.
std::string LineName(const std::string& name) {
    std::string out = ValidUtf8(name);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

std::string Cell(const std::string& text) {
    char cell[64];
    std::snprintf(cell, sizeof cell, "%9s", text.c_str());
    return cell;
}

std::string ShareText(double share) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f%%", share);
    return text;
}

}  // namespace

double ProfileDiff::Share(uint64_t count, uint64_t samples) {
    return samples == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(samples);
}

std::string ProfileDiff::ChangeText(double change) {
    char text[48];
    std::snprintf(text, sizeof text, "%+.2f", change);
    // Whatever rounds to zero shows unsigned.
    if (std::string(text + 1) == "0.00") return "0.00";
    return text;
}

ProfileDiff ProfileDiff::Compare(const Profile& a, const Profile& b) {
    ProfileDiff diff;
    for (const auto& [tid, thread] : a.threads) diff.samplesA_ += thread.samples;
    for (const auto& [tid, thread] : b.threads) diff.samplesB_ += thread.samples;
    const uint64_t totalA = diff.samplesA_;
    const uint64_t totalB = diff.samplesB_;

    std::map<std::string, Row> functions;
    for (const auto& [name, counts] : FunctionCounts(a)) {
        Row& row = functions[name];
        row.selfA = counts.self;
        row.totalA = counts.total;
    }
    for (const auto& [name, counts] : FunctionCounts(b)) {
        Row& row = functions[name];
        row.selfB = counts.self;
        row.totalB = counts.total;
    }
    std::map<std::string, Row> threads;
    for (const auto& [name, samples] : ThreadCounts(a)) threads[name].selfA = threads[name].totalA = samples;
    for (const auto& [name, samples] : ThreadCounts(b)) threads[name].selfB = threads[name].totalB = samples;

    for (auto& [name, row] : functions) {
        row.name = name;
        diff.functions_.push_back(std::move(row));
    }
    for (auto& [name, row] : threads) {
        row.name = name;
        diff.threads_.push_back(std::move(row));
    }
    // The maps gave name order; a stable sort keeps it among equal changes.
    const auto selfKey = [&](const Row& r) { return ChangeKey(r.selfA, totalA, r.selfB, totalB); };
    const auto totalKey = [&](const Row& r) { return ChangeKey(r.totalA, totalA, r.totalB, totalB); };
    std::stable_sort(diff.functions_.begin(), diff.functions_.end(), [&](const Row& x, const Row& y) {
        return std::make_tuple(selfKey(x), totalKey(x)) > std::make_tuple(selfKey(y), totalKey(y));
    });
    std::stable_sort(diff.threads_.begin(), diff.threads_.end(),
                     [&](const Row& x, const Row& y) { return selfKey(x) > selfKey(y); });
    return diff;
}

std::string ProfileDiff::text(const std::string& labelA, const std::string& labelB) const {
    std::string out = "A " + LineName(labelA) + ": " + std::to_string(samplesA_) + " samples; B " +
                      LineName(labelB) + ": " + std::to_string(samplesB_) + " samples\n\n";
    out += Cell("self A") + Cell("self B") + Cell("change") + Cell("total A") + Cell("total B") +
           Cell("change") + "  function\n";
    for (const Row& row : functions_) {
        const double selfA = shareA(row.selfA), selfB = shareB(row.selfB);
        const double totalA = shareA(row.totalA), totalB = shareB(row.totalB);
        out += Cell(ShareText(selfA)) + Cell(ShareText(selfB)) + Cell(ChangeText(selfB - selfA)) +
               Cell(ShareText(totalA)) + Cell(ShareText(totalB)) + Cell(ChangeText(totalB - totalA)) +
               "  " + LineName(row.name) + "\n";
    }
    out += "\n" + Cell("share A") + Cell("share B") + Cell("change") + "  thread\n";
    for (const Row& row : threads_) {
        const double a = shareA(row.selfA), b = shareB(row.selfB);
        out += Cell(ShareText(a)) + Cell(ShareText(b)) + Cell(ChangeText(b - a)) + "  " + LineName(row.name) + "\n";
    }
    return out;
}

}  // namespace vantric::rcf
