// The names of the scratch file series that exist in a folder.
#pragma once

#include <string>
#include <vector>

namespace zelvo {

// The numbers of the series' names (FileDynamicStore::SeriesName) that exist in `dir`, ascending:
// one listing of the folder rather than a probe per name. 1 to kRunningCopies when the folder
// cannot be listed.
std::vector<int> SeriesInFolder(const std::string& dir);

// A scratch file with a recovery journal beside it belongs to recovery, not to a new store.
bool HasJournal(const std::string& name);

// Removes the files of the series in `dir` that no running copy holds (left by a crash or a
// kill), except those with a journal, and the journals whose scratch file is gone.
void ReclaimStaleSeries(const std::string& dir);

}  // namespace zelvo
