// Disk queries: free space, the list of local fixed disks and the system disk. The real
// service reads statvfs and /proc/self/mountinfo; tests install a fake with chosen answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

class DiskService {
public:
    virtual ~DiskService() = default;
    // Bytes available to this process on the disk holding `folder`; nullopt when unknown.
    virtual std::optional<uint64_t> AvailableBytes(const std::string& folder) = 0;
    // The roots of the local fixed disks in mount order. A root is the folder Zelvo writes in
    // on that disk (its mount point when writable, else a writable folder on it), ending in '/'.
    virtual std::vector<std::string> DriveRoots() = 0;
    // Whether `root` is such a fixed-disk root (GetDriveType = fixed).
    virtual bool IsFixed(const std::string& root) = 0;
    // The root of the disk holding the system's temporary folder, ending in '/'.
    virtual std::string SystemRoot() = 0;
};

class RealDiskService : public DiskService {
public:
    std::optional<uint64_t> AvailableBytes(const std::string& folder) override;
    std::vector<std::string> DriveRoots() override;
    bool IsFixed(const std::string& root) override;
    std::string SystemRoot() override;
};

// A scripted set of disks for tests.
class FakeDiskService : public DiskService {
public:
    struct Disk {
        std::string root;
        bool fixed = true;
        uint64_t available = 0;
    };
    std::vector<Disk> disks;
    std::string systemRoot;
    // Folders not on any listed disk report this (nullopt: unknown).
    std::optional<uint64_t> otherAvailable;

    std::optional<uint64_t> AvailableBytes(const std::string& folder) override;
    std::vector<std::string> DriveRoots() override;
    bool IsFixed(const std::string& root) override;
    std::string SystemRoot() override { return systemRoot; }
    Disk* Find(const std::string& root);
};

DiskService& AppDisks();
void SetAppDisks(DiskService* d);

// The unit in which mapped views are aligned (a multiple of the page size).
constexpr uint32_t kAllocationGranularity = 65536;

// The folder holding Zelvo's .qinf settings files: $ZELVO_CONFIG_DIR when set, else the
// user's configuration folder (~/.config/zelvo). Created on demand by writers.
std::string ConfigDir();
std::string ConfigPath(const std::string& fileName);

}  // namespace zelvo
