#include "kernel_image.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace kvhost {
namespace {

constexpr uint64_t kUserStackRegion = 0x10000;
constexpr uint64_t kUserStackStride = 0x20000;  // a guard gap between stacks

uint64_t AlignUp(uint64_t value, uint64_t align) { return (value + align - 1) & ~(align - 1); }

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("kvhost: cannot write " + path.string());
}

}  // namespace

KernelImage::KernelImage(Processor& cpu, KernelLayout layout)
    : KernelImage(std::vector<Processor*>{&cpu}, layout) {}

KernelImage::KernelImage(std::vector<Processor*> cpus, KernelLayout layout)
    : cpus_(std::move(cpus)),
      layout_(layout),
      is64_(!cpus_.empty() && cpus_.front()->is64()),
      space_(is64_ ? "Guest" : "Secure"),
      kernelNext_(is64_ ? kKernelBase64 : kKernelBase32),
      userNext_(is64_ ? kUserDataBase64 : kUserDataBase32),
      stackNext_(is64_ ? kUserStackTop64 : kUserStackTop32) {
    if (cpus_.empty()) throw std::invalid_argument("kvhost: a kernel image needs a core");
    for (const Processor* core : cpus_) {
        if (core->is64() != is64_) {
            throw std::invalid_argument("kvhost: the cores of one kernel image differ in width");
        }
    }
    if (is64_) {
        SetSymbol("_text", 0xFFFF800010000000ull, 'T');
        SetSymbol("_stext", 0xFFFF800010010000ull, 'T');
        SetSymbol("__switch_to", 0xFFFF800010019420ull, 'T');
        SetSymbol("__switch_to_aux", 0xFFFF800010019500ull, 't');
        SetSymbol("release_task", 0xFFFF8000100938B0ull, 'T');
        SetSymbol("do_exit", 0xFFFF800010094C40ull, 'T');
        SetSymbol("linux_banner", 0xFFFF800010E20080ull, 'R');
        SetSymbol("init_task", 0xFFFF800011A0F0C0ull, 'D');
        SetSymbol("__bss_start", 0xFFFF800011C40000ull, 'B');
        SetSymbol("__crc_release_task", 0x5B1F6A3Cull, 'A');
    } else {
        SetSymbol("stext", 0xC0008000ull, 'T');
        SetSymbol("__switch_to", 0xC0108A40ull, 'T');
        SetSymbol("__switch_to_aux", 0xC0108A90ull, 't');
        SetSymbol("release_task", 0xC012F3C4ull, 'T');
        SetSymbol("do_exit", 0xC0130010ull, 'T');
        SetSymbol("linux_banner", 0xC0600040ull, 'R');
        SetSymbol("init_task", 0xC0A0E2C0ull, 'D');
        SetSymbol("__bss_start", 0xC0B00000ull, 'B');
        SetSymbol("__crc_release_task", 0x5B1F6A3Cull, 'A');
    }
}

// ---- symbols ----

uint64_t KernelImage::Symbol(std::string_view name) const {
    const auto it = symbols_.find(name);
    return it == symbols_.end() ? 0 : it->second.address;
}

void KernelImage::SetSymbol(const std::string& name, uint64_t address, char type) {
    symbols_[name] = SymbolEntry{address, type};
}

void KernelImage::RemoveSymbol(std::string_view name) {
    const auto it = symbols_.find(name);
    if (it != symbols_.end()) symbols_.erase(it);
}

std::string KernelImage::SystemMap() const {
    std::vector<std::pair<uint64_t, const std::string*>> order;
    for (const auto& [name, entry] : symbols_) order.emplace_back(entry.address, &name);
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first < b.first
                                                                            : *a.second < *b.second; });
    std::string text;
    for (const auto& [address, name] : order) {
        char line[64];
        std::snprintf(line, sizeof line, "%0*llx %c ", is64_ ? 16 : 8,
                      static_cast<unsigned long long>(address), symbols_.find(*name)->second.type);
        text += line;
        text += *name;
        text += '\n';
    }
    return text;
}

// ---- memory ----

uint64_t KernelImage::AllocateKernel(uint64_t size, uint64_t align) {
    const uint64_t address = AlignUp(kernelNext_, align);
    kernelNext_ = address + size;
    WriteBytes(address, std::vector<uint8_t>(size, 0));
    return address;
}

uint64_t KernelImage::AllocateUser(uint64_t size) {
    const uint64_t address = AlignUp(userNext_, 16);
    userNext_ = address + size;
    return address;
}

void KernelImage::WriteBytes(uint64_t address, std::span<const uint8_t> bytes) {
    for (Processor* core : cpus_) core->WriteMemory(space_, address, bytes);
}

void KernelImage::WriteText(uint64_t address, std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    WriteBytes(address, bytes);
}

void KernelImage::Write64(uint64_t address, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    WriteBytes(address, bytes);
}

void KernelImage::Write32(uint64_t address, uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    WriteBytes(address, bytes);
}

void KernelImage::WriteWord(uint64_t address, uint64_t value) {
    if (is64_) {
        Write64(address, value);
    } else {
        Write32(address, static_cast<uint32_t>(value));
    }
}

uint64_t KernelImage::taskSize() const {
    const KernelLayout& l = layout_;
    const uint64_t w = wordSize();
    return std::max({l.taskState + w, l.taskIoWait + w, l.taskMm + w, l.taskPid + 4,
                     l.taskTgid + 4, l.taskComm + l.taskCommLength});
}

uint64_t KernelImage::mmSize() const {
    const uint64_t w = wordSize();
    return std::max({layout_.mmExeFile + w, layout_.mmRb + layout_.rbRootNode + w,
                     layout_.maple.mmTree + layout_.maple.treeRoot + w});
}

uint64_t KernelImage::fileSize() const {
    return layout_.fileFPath + layout_.pathDentry + wordSize();
}

uint64_t KernelImage::dentrySize() const {
    const uint64_t w = wordSize();
    return std::max(layout_.dentryDName + layout_.qstrName + w, layout_.dentryDParent + w);
}

uint64_t KernelImage::areaSize() const {
    const KernelLayout& l = layout_;
    const uint64_t w = wordSize();
    return std::max({l.vmaStart + w, l.vmaEnd + w, l.vmaFile + w, l.vmaPgoff + w, l.vmaNext + w,
                     l.vmaRb + std::max({uint64_t{0}, l.rbRight, l.rbLeft}) + w});
}

// ---- files and directory entries ----

uint64_t KernelImage::NewDentry(std::string_view name, uint64_t parent) {
    const uint64_t dentry = AllocateKernel(dentrySize());
    const uint64_t text = AllocateKernel(name.size() + 1, 8);
    WriteText(text, name);
    WriteWord(dentry + layout_.dentryDName + layout_.qstrName, text);
    WriteWord(dentry + layout_.dentryDParent, parent == 0 ? dentry : parent);
    return dentry;
}

uint64_t KernelImage::Dentry(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        throw std::invalid_argument("kvhost: not an absolute path: " + std::string(path));
    }
    auto root = dentries_.find(std::string_view("/"));
    if (root == dentries_.end()) root = dentries_.emplace("/", NewDentry("/", 0)).first;
    uint64_t parent = root->second;
    std::string prefix;
    size_t pos = 0;
    while (pos < path.size()) {
        const size_t start = path.find_first_not_of('/', pos);
        if (start == std::string_view::npos) break;
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view component = path.substr(start, end - start);
        prefix += '/';
        prefix += component;
        auto it = dentries_.find(prefix);
        if (it == dentries_.end()) it = dentries_.emplace(prefix, NewDentry(component, parent)).first;
        parent = it->second;
        pos = end;
    }
    return parent;
}

uint64_t KernelImage::FileFor(uint64_t dentry) {
    const uint64_t file = AllocateKernel(fileSize());
    WriteWord(file + layout_.fileFPath + layout_.pathDentry, dentry);
    return file;
}

uint64_t KernelImage::File(std::string_view path) { return FileFor(Dentry(path)); }

// ---- tasks ----

uint64_t KernelImage::NewMm(std::string_view exePath) {
    const uint64_t mm = AllocateKernel(mmSize());
    if (!exePath.empty()) WriteWord(mm + layout_.mmExeFile, File(exePath));
    mms_.emplace(mm, Mm{});
    return mm;
}

uint64_t KernelImage::NewTask(uint32_t tid, uint32_t tgid, std::string_view comm, uint64_t mm) {
    const uint64_t task = AllocateKernel(taskSize());
    WriteWord(task + layout_.taskMm, mm);
    Write32(task + layout_.taskPid, tid);
    Write32(task + layout_.taskTgid, tgid);
    if (layout_.taskCommLength != 0) {
        // Like the kernel: cut to the field and always terminated.
        const size_t keep = std::min<size_t>(comm.size(), layout_.taskCommLength - 1);
        WriteText(task + layout_.taskComm, comm.substr(0, keep));
    }
    Task record;
    record.mm = mm;
    record.tgid = tgid;
    if (!is64_) {
        record.threadInfo = AllocateKernel(kKernelStackSize, kKernelStackSize);
        Write32(record.threadInfo + layout_.threadInfoTask, static_cast<uint32_t>(task));
    }
    tasks_.emplace(task, record);
    return task;
}

uint64_t KernelImage::AddProcess(uint32_t pid, std::string_view comm, std::string_view exePath) {
    return NewTask(pid, pid, comm, NewMm(exePath));
}

uint64_t KernelImage::AddThread(uint64_t leader, uint32_t tid, std::string_view comm) {
    const Task& process = TaskAt(leader);
    return NewTask(tid, process.tgid, comm, process.mm);
}

uint64_t KernelImage::AddKernelThread(uint32_t pid, std::string_view comm) {
    return NewTask(pid, pid, comm, 0);
}

void KernelImage::SetTaskState(uint64_t task, uint64_t state, uint64_t ioWait) {
    TaskAt(task);
    WriteWord(task + layout_.taskState, state);
    WriteWord(task + layout_.taskIoWait, ioWait);
}

const KernelImage::Task& KernelImage::TaskAt(uint64_t task) const {
    const auto it = tasks_.find(task);
    if (it == tasks_.end()) throw std::invalid_argument("kvhost: not a task of this image");
    return it->second;
}

uint64_t KernelImage::MmOf(uint64_t task) const { return TaskAt(task).mm; }

uint64_t KernelImage::ThreadInfoOf(uint64_t task) const { return TaskAt(task).threadInfo; }

// ---- memory areas ----

uint64_t KernelImage::MapFileObject(uint64_t task, uint64_t start, uint64_t end, uint64_t file,
                                    uint64_t pageOffset) {
    const uint64_t mm = MmOf(task);
    if (mm == 0) throw std::invalid_argument("kvhost: a kernel thread has no address space");
    const uint64_t area = AllocateKernel(areaSize());
    mms_.at(mm).tree.Insert(start, end, area);
    WriteWord(area + layout_.vmaStart, start);
    WriteWord(area + layout_.vmaEnd, end);
    WriteWord(area + layout_.vmaFile, file);
    WriteWord(area + layout_.vmaPgoff, pageOffset);
    WriteAreas(mm);
    return area;
}

uint64_t KernelImage::MapFile(uint64_t task, uint64_t start, uint64_t end, std::string_view path,
                              uint64_t pageOffset) {
    return MapFileObject(task, start, end, File(path), pageOffset);
}

uint64_t KernelImage::MapAnonymous(uint64_t task, uint64_t start, uint64_t end) {
    return MapFileObject(task, start, end, 0, 0);
}

const AreaTree& KernelImage::AreasOf(uint64_t task) const { return mms_.at(MmOf(task)).tree; }

void KernelImage::SetAreaChild(uint64_t area, bool left, uint64_t child) {
    WriteWord(area + layout_.vmaRb + (left ? layout_.rbLeft : layout_.rbRight),
              child + layout_.vmaRb);
}

void KernelImage::SetAreaNext(uint64_t area, uint64_t next) {
    WriteWord(area + layout_.vmaNext, next);
}

void KernelImage::SetDentryParent(uint64_t dentry, uint64_t parent) {
    WriteWord(dentry + layout_.dentryDParent, parent);
}

void KernelImage::WriteAreas(uint64_t mm) {
    const AreaTree& tree = mms_.at(mm).tree;
    if (layout_.mapleTree) {
        std::vector<MapleTreeBuilder::Area> areas;
        for (int n : tree.InOrder()) areas.push_back({tree.nodes()[n].start, tree.nodes()[n].end, tree.nodes()[n].area});
        // Nodes of a rewritten tree are new, as the kernel's are.
        const MapleTreeBuilder builder(layout_.maple, mapleLeafSlots_, mapleBranchSlots_);
        const uint64_t root = builder.Build(
            areas, [this] { return AllocateKernel(256, 256); },
            [this](uint64_t address, uint64_t value) { Write64(address, value); },
            [this](uint64_t address, uint8_t value) { WriteBytes(address, std::span<const uint8_t>(&value, 1)); });
        Write64(mm + layout_.maple.mmTree + layout_.maple.treeRoot, root);
        return;
    }
    const auto& nodes = tree.nodes();
    const auto nodeAddress = [&](int n) {
        return n == AreaTree::kNone ? 0 : nodes[n].area + layout_.vmaRb;
    };
    // The parent-and-colour word shares its place with nothing in the kernel's
    // layout (offset 0 of rb_node); skip it when a layout puts a child there.
    const bool parentWord = layout_.rbRight != 0 && layout_.rbLeft != 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const uint64_t node = nodeAddress(static_cast<int>(i));
        if (parentWord) WriteWord(node, nodeAddress(nodes[i].parent) | (nodes[i].red ? 0 : 1));
        WriteWord(node + layout_.rbRight, nodeAddress(nodes[i].right));
        WriteWord(node + layout_.rbLeft, nodeAddress(nodes[i].left));
    }
    WriteWord(mm + layout_.mmRb + layout_.rbRootNode, nodeAddress(tree.root()));
    const std::vector<int> order = tree.InOrder();
    for (size_t i = 0; i < order.size(); ++i) {
        const uint64_t next = i + 1 < order.size() ? nodes[order[i + 1]].area : 0;
        WriteWord(nodes[order[i]].area + layout_.vmaNext, next);
    }
}

// ---- stacks and user data ----

KernelImage::StackPointers KernelImage::WriteFrameRecords(uint64_t stackTop,
                                                          std::span<const uint64_t> returns) {
    const uint64_t w = wordSize();
    const uint64_t record = 2 * w;
    const uint64_t base = (stackTop - (returns.size() + 1) * record) & ~uint64_t{15};
    for (size_t i = 0; i <= returns.size(); ++i) {
        const uint64_t at = base + i * record;
        const bool last = i == returns.size();
        WriteWord(at, last ? 0 : at + record);
        WriteWord(at + w, last ? 0 : returns[i]);
    }
    return StackPointers{base, base - 32};
}

uint64_t KernelImage::NewUserStack() {
    const uint64_t top = stackNext_;
    stackNext_ -= kUserStackStride;
    for (Processor* core : cpus_) core->Memory(space_).Map(top - kUserStackRegion, kUserStackRegion);
    return top;
}

uint64_t KernelImage::UserString(std::string_view text) {
    const uint64_t address = AllocateUser(text.size() + 1);
    WriteText(address, text);
    return address;
}

uint64_t KernelImage::UserPointerArray(std::span<const uint64_t> pointers) {
    const uint64_t address = AllocateUser(8 * (pointers.size() + 1));
    for (size_t i = 0; i <= pointers.size(); ++i) {
        Write64(address + 8 * i, i < pointers.size() ? pointers[i] : 0);
    }
    return address;
}

uint64_t KernelImage::UnmappedUserAddress() const {
    return (is64_ ? kUserDataBase64 : kUserDataBase32) - 0x100000;
}

// ---- registers ----

void KernelImage::EnterSwitchTo(uint64_t prev, uint64_t next, size_t core) {
    if (is64_) {
        SetRegister(core, "X0", prev);
        SetRegister(core, "X1", next);
        return;
    }
    SetRegister(core, "R0", prev);
    SetRegister(core, "R4", (next == 0 ? 0 : ThreadInfoOf(next)) + layout_.switchThreadInfoBias);
}

void KernelImage::EnterReleaseTask(uint64_t task, size_t core) {
    SetRegister(core, is64_ ? "X0" : "R0", task);
}

void KernelImage::SetRunning(uint64_t task, size_t core) {
    if (is64_) return;
    SetRegister(core, "R13_svc", task == 0 ? 0 : ThreadInfoOf(task) + kKernelStackSize - 64);
}

void KernelImage::EnterSyscall(uint64_t number, std::array<uint64_t, 6> args, size_t core) {
    static constexpr const char* kArgs64[] = {"X0", "X1", "X2", "X3", "X4", "X5"};
    static constexpr const char* kArgs32[] = {"R0", "R1", "R2", "R3", "R4", "R5"};
    SetRegister(core, is64_ ? "X8" : "R7", number);
    for (size_t i = 0; i < args.size(); ++i) {
        SetRegister(core, is64_ ? kArgs64[i] : kArgs32[i], args[i]);
    }
}

// ---- configuration ----

std::string KernelImage::SettingsJson(const std::string& systemMapPath,
                                      const LinuxSettingsOptions& options) const {
    std::string json = "{\n";
    json += "  \"operating-system\": \"linux\",\n";
    json += "  \"system-map-file\": " + JsonString(systemMapPath) + ",\n";
    json += std::string("  \"") + (is64_ ? "linux-offsets-64" : "linux-offsets-32") +
            "\": " + JsonString(OffsetsText()) + ",\n";
    if (layout_.mapleTree) {
        json += "  \"memory-areas\": \"maple-tree\",\n";
        json += "  \"maple-tree-offsets\": " + JsonString(layout_.MapleText()) + ",\n";
    }
    json += "  \"trace-linux-syscalls\": " + std::string(options.traceSyscalls ? "true" : "false") +
            ",\n";
    if (options.samplingFrequency != 0) {
        json += "  \"sampling-frequency\": " + std::to_string(options.samplingFrequency) + ",\n";
    }
    if (options.callstackDepth != 0) {
        json += "  \"callstack-depth\": " + std::to_string(options.callstackDepth) + ",\n";
    }
    json += "  \"pageshift\": " + std::to_string(options.pageShift) + "\n}\n";
    return json;
}

KernelImage::SettingsFiles KernelImage::WriteSettingsFiles(const std::filesystem::path& directory,
                                                           const LinuxSettingsOptions& options) const {
    SettingsFiles files{directory / "System.map", directory / "linux.json"};
    WriteTextFile(files.systemMap, SystemMap());
    WriteTextFile(files.settings, SettingsJson(files.systemMap.string(), options));
    return files;
}

}  // namespace kvhost
