// The temporary disk: which fixed disk holds the scratch file, the user's remembered choice in
// "storedisk.qinf" and the model of the dialog in which the user picks another disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Disk.h"

namespace zelvo {

// A disk is good enough for the automatic choice above this, and for the dialog above the next.
constexpr uint32_t kAutoChoiceBytes = 209715200;    // 0xC800000
constexpr uint32_t kDialogChoiceBytes = 104857600;  // 0x6400000
// The longest path the settings file holds, counting its NUL.
constexpr uint32_t kMaxStoreDiskPath = 260;
constexpr uint32_t kStoreDiskFileLength = 4 + kMaxStoreDiskPath;
constexpr const char* kStoreDiskFileName = "storedisk.qinf";

// Whether `available` bytes leave room for `n`: the high 32 bits are non-zero, or n is less
// than the low 32 bits. An unknown amount never counts.
bool IsAvailable(std::optional<uint64_t> available, uint32_t n);
bool HasAvailableSpace(DiskService& disks, const std::string& folder, uint32_t n);

// The root remembered in "storedisk.qinf" in the config folder; nullopt when the file is
// missing, short or garbled.
std::optional<std::string> ReadStoreDiskFile();
// Writes `root` to "storedisk.qinf", creating the config folder and the file (264 bytes long)
// when missing. False when it cannot be written or the root is too long to be read back.
bool WriteStoreDiskFile(const std::string& root);

// The start-up choice of the temporary folder; empty when there is no fixed disk at all.
std::string ChooseTempFolder(DiskService& disks);

// Every folder the start-up choice or the dialog may put the scratch file in: the remembered
// disk, the system disk and every fixed disk (one may come twice). A dead run's files may lie in
// any of them, since the choice moves on when a disk fills, often with those very files.
std::vector<std::string> TempFolderCandidates(DiskService& disks);

// "  Available Space%0.1f G" in whole tenths of a gigabyte, rounded down.
std::string AvailableSpaceText(uint64_t availableBytes);

// "Select Temporary Disk": one line per fixed disk, the current temporary folder's selected.
class TempDiskDialog {
public:
    static constexpr const char* kCaption = "Select Temporary Disk";
    static constexpr const char* kText =
        "Select the disk partition as Temporary Disk.\n\nTemporary disks will remain in use until "
        "you quit.";

    struct Line {
        std::string root;  // kept apart from the text: roots may hold blanks
        std::string text;
    };

    TempDiskDialog(DiskService& disks, const std::string& tempFolder);

    const std::vector<Line>& Lines() const { return m_lines; }
    // Index of the selected line, -1 when none is.
    int Selected() const { return m_selected; }
    void Select(int index);
    // Saves the selected disk when it is fixed with more than 100 MB available; otherwise
    // nothing is written and nothing is shown. True when the choice was written.
    bool Ok();

private:
    DiskService& m_disks;
    std::vector<Line> m_lines;
    int m_selected = -1;
};

}  // namespace zelvo
