#include "app/StartupRules.h"

#include <algorithm>
#include <filesystem>

#include "platform/Messages.h"

namespace zelvo {

const char* const kColorDepthWarning =
    "The current operating system, showed less than 24-bit color quality, image should not "
    "display properly!\n\n1.Click on Start.\n2.Find the Control Panel.\n3.In the Control Panel, "
    "click Display. This will bring up the Display Properties window.\n4.Click on the Settings "
    "tab.\n5.Set color quality to Hightest(32bit).";

int StartupWaitMs(long long elapsedMs) {
    return int(std::clamp<long long>(5000 - elapsedMs, 0, 3000));
}

bool CheckColorDepth(int bitsPerPixel) {
    if (bitsPerPixel >= 24) return false;
    AppMessages().Show(kColorDepthWarning);
    return true;
}

std::optional<std::string> LastFolderFor(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path p(path);
    if (!p.is_absolute()) return std::nullopt;
    const fs::path folder = p.parent_path();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) return std::nullopt;
    return folder.string();
}

}  // namespace zelvo
