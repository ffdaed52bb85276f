#include "platform/Disk.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace zelvo {

namespace {

std::string WithSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Local disk file systems count as fixed disks; memory, network and pseudo file systems do not.
bool IsDiskFsType(const std::string& type) {
    static const std::set<std::string> kDisk = {"ext2", "ext3", "ext4",     "xfs", "btrfs",
                                                "f2fs", "jfs",  "reiserfs", "zfs", "bcachefs"};
    return kDisk.count(type) != 0;
}

// mountinfo escapes blanks and a few other characters as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            int v = 0;
            bool ok = true;
            for (int k = 1; k <= 3; ++k) {
                char c = s[i + k];
                if (c < '0' || c > '7') ok = false;
                v = v * 8 + (c - '0');
            }
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

struct Mount {
    std::string point;
    std::string device;  // major:minor
    std::string fsType;
};

std::vector<Mount> ReadMounts() {
    std::vector<Mount> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        std::istringstream ls(line);
        std::string id, parent, dev, root, point, opts, word;
        if (!(ls >> id >> parent >> dev >> root >> point >> opts)) continue;
        while (ls >> word && word != "-") {
        }
        std::string fsType;
        ls >> fsType;
        mounts.push_back({Unescape(point), dev, fsType});
    }
    return mounts;
}

bool Writable(const std::string& folder) {
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

// The device holding a folder, by the longest mount point that is a prefix of it.
const Mount* MountOf(const std::vector<Mount>& mounts, const std::string& folder) {
    const Mount* best = nullptr;
    std::string f = WithSlash(folder);
    for (const auto& m : mounts) {
        std::string p = WithSlash(m.point);
        if (f.compare(0, p.size(), p) == 0 && (!best || p.size() >= WithSlash(best->point).size()))
            best = &m;
    }
    return best;
}

// The folder Zelvo writes in on the disk mounted at `m`.
std::string FolderOn(const std::vector<Mount>& mounts, const Mount& m) {
    if (Writable(m.point)) return WithSlash(m.point);
    std::vector<std::string> candidates;
    if (const char* home = std::getenv("HOME")) candidates.push_back(home);
    candidates.push_back("/var/tmp");
    for (const auto& c : candidates) {
        const Mount* on = MountOf(mounts, c);
        if (on && on->point == m.point && Writable(c)) return WithSlash(c);
    }
    return {};
}

}  // namespace

std::optional<uint64_t> RealDiskService::AvailableBytes(const std::string& folder) {
    struct statvfs st {};
    if (statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

std::vector<std::string> RealDiskService::DriveRoots() {
    auto mounts = ReadMounts();
    std::vector<std::string> roots;
    std::set<std::string> devices;
    for (const auto& m : mounts) {
        if (!IsDiskFsType(m.fsType) || devices.count(m.device)) continue;
        std::string folder = FolderOn(mounts, m);
        if (folder.empty()) continue;
        devices.insert(m.device);
        roots.push_back(folder);
    }
    return roots;
}

bool RealDiskService::IsFixed(const std::string& root) {
    if (root.empty()) return false;
    for (const auto& r : DriveRoots())
        if (r == WithSlash(root)) return true;
    return false;
}

std::string RealDiskService::SystemRoot() {
    auto mounts = ReadMounts();
    const Mount* m = MountOf(mounts, "/var/tmp");
    if (!m || !IsDiskFsType(m->fsType)) return {};
    // The disk's root as listed by DriveRoots, so the two compare equal.
    std::string folder = FolderOn(mounts, *m);
    return folder;
}

std::optional<uint64_t> FakeDiskService::AvailableBytes(const std::string& folder) {
    std::string f = WithSlash(folder);
    const Disk* best = nullptr;
    for (const auto& d : disks) {
        std::string r = WithSlash(d.root);
        if (f.compare(0, r.size(), r) == 0 && (!best || r.size() > best->root.size())) best = &d;
    }
    if (best) return best->available;
    return otherAvailable;
}

std::vector<std::string> FakeDiskService::DriveRoots() {
    std::vector<std::string> out;
    for (const auto& d : disks) out.push_back(d.root);
    return out;
}

bool FakeDiskService::IsFixed(const std::string& root) {
    Disk* d = Find(root);
    return d && d->fixed;
}

FakeDiskService::Disk* FakeDiskService::Find(const std::string& root) {
    for (auto& d : disks)
        if (d.root == root) return &d;
    return nullptr;
}

namespace {
RealDiskService g_realDisks;
DiskService* g_disks = nullptr;
}  // namespace

DiskService& AppDisks() {
    return g_disks ? *g_disks : g_realDisks;
}
void SetAppDisks(DiskService* d) {
    g_disks = d;
}

std::string ConfigDir() {
    if (const char* dir = std::getenv("ZELVO_CONFIG_DIR"); dir && *dir) return WithSlash(dir);
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return WithSlash(xdg) + "zelvo/";
    if (const char* home = std::getenv("HOME"); home && *home)
        return WithSlash(home) + ".config/zelvo/";
    return "/tmp/zelvo-config/";
}

std::string ConfigPath(const std::string& fileName) {
    return ConfigDir() + fileName;
}

}  // namespace zelvo
