// Files that must not outlive the process: the scratch file and the temporary file of a save.
// Their names are kept in a fixed table that the handlers of SIGINT, SIGTERM and SIGHUP (and
// the normal exit) walk with async-signal-safe calls only. Each entry remembers the inode and
// the owning process, so that a forked child or a later holder of the same name is never hurt.
#pragma once

#include <string>

namespace zelvo {

// Registers the open file `fd` named `path` for removal at exit or on those signals, and
// installs the handlers once. On a signal or at exit the file stays when `keepIfPresent` names a
// file that still exists (a recovery journal, which an orderly end removes first: the work is
// left for the next start, as after a crash).
// Returns the entry, or -1 when the table is full.
int RegisterRemoveAtExit(const std::string& path, int fd, const std::string& keepIfPresent = {});
// Removes the file now, if it is still the one registered, and frees the entry.
void RemoveRegistered(int entry);
// Frees the entry without removing anything (the file was renamed or is kept).
void UnregisterRemoveAtExit(int entry);

}  // namespace zelvo
