// The names of the scratch file series that exist in a folder.
#pragma once

#include <string>
#include <vector>

namespace zelvo {

// The numbers of the series' names (FileDynamicStore::SeriesName) that exist in `dir`, ascending:
// one listing of the folder rather than a probe per name. 1 to kRunningCopies when the folder
// cannot be listed.
std::vector<int> SeriesInFolder(const std::string& dir);

}  // namespace zelvo
