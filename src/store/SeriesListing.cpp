// The names of the scratch file series, and which of them a folder holds.
#include "store/SeriesListing.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Messages.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

std::string FileDynamicStore::SeriesName(const std::string& dir, int i) {
    return dir + Format("Photo Temp00%d.temp", i);
}

std::vector<int> SeriesInFolder(const std::string& dir) {
    std::vector<int> found;
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
        for (int i = 1; i <= FileDynamicStore::kRunningCopies; ++i) found.push_back(i);
        return found;
    }
    static constexpr char kPrefix[] = "Photo Temp00";
    while (const dirent* e = readdir(d)) {
        if (std::strncmp(e->d_name, kPrefix, sizeof kPrefix - 1) != 0) continue;
        const int i = std::atoi(e->d_name + sizeof kPrefix - 1);
        // Only the exact spelling of a name of the series (no "Photo Temp0001.temp").
        if (i >= 1 && i <= FileDynamicStore::kLastSeriesName &&
            FileDynamicStore::SeriesName("", i) == e->d_name)
            found.push_back(i);
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

// A scratch file with a recovery journal beside it belongs to recovery, not to us.
bool HasJournal(const std::string& name) {
    return access(FileDynamicStore::JournalName(name).c_str(), F_OK) == 0;
}

// Removes the files of the series that no running copy holds (left by a crash or a kill),
// except those with a journal. The lock tells: every live store keeps its file locked.
void ReclaimStaleSeries(const std::string& dir) {
    for (int i : SeriesInFolder(dir)) {
        const std::string name = FileDynamicStore::SeriesName(dir, i);
        if (HasJournal(name)) continue;
        const int fd = open(name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat a, b;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &a) == 0 && S_ISREG(a.st_mode) &&
            stat(name.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
            unlink(name.c_str());
        close(fd);
    }
    // A journal whose scratch file is gone (deleted by hand to free the disk) names no work
    // any more; left there it would hold its name of the series for ever. A store makes its
    // scratch file before its journal and removes the journal first, so a running copy never
    // has one without the other.
    for (int i = 1; i <= FileDynamicStore::kLastSeriesName; ++i) {
        const std::string name = FileDynamicStore::SeriesName(dir, i);
        if (access(name.c_str(), F_OK) == 0 || errno != ENOENT) continue;
        const std::string journal = FileDynamicStore::JournalName(name);
        unlink(journal.c_str());
        unlink((journal + ".tmp").c_str());
    }
}

}  // namespace zelvo
