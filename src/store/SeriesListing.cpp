// The names of the scratch file series, and which of them a folder holds.
#include "store/SeriesListing.h"

#include <dirent.h>

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

}  // namespace zelvo
