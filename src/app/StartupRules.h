// Small rules of the application's start-up and file handling, kept apart from the windows.
#pragma once

#include <optional>
#include <string>

namespace zelvo {

// How long start-up still waits so that the start-up dialog stays up about five seconds:
// 5000 ms minus the time already spent, held between 0 and 3000 ms.
int StartupWaitMs(long long elapsedMs);

// The warning for a display of fewer than 24 bits per pixel; the program goes on. Returns
// whether the warning was shown.
bool CheckColorDepth(int bitsPerPixel);
extern const char* const kColorDepthWarning;

// The folder the open and save dialogs start in after `path` was opened: its folder, unless it
// has none, is not absolute, or the folder does not exist.
std::optional<std::string> LastFolderFor(const std::string& path);

}  // namespace zelvo
