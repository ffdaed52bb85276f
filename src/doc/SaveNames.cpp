#include "doc/SaveNames.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <initializer_list>

namespace zelvo {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == Lower(suffix);
}

std::string Extension(const std::string& path) {
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return Lower(path.substr(dot));
}

}  // namespace

FileFormat FormatForPath(const std::string& path) {
    std::string ext = Extension(path);
    if (ext == ".jpg" || ext == ".jpe" || ext == ".jpeg") return FileFormat::Jpeg;
    if (ext == ".bmp") return FileFormat::Bmp;
    if (ext == ".tif" || ext == ".tiff") return FileFormat::Tiff;
    if (ext == ".gif") return FileFormat::Gif;
    if (ext == ".png") return FileFormat::Png;
    if (ext == ".zld") return FileFormat::Layered;
    return FileFormat::None;
}

std::optional<SaveOptions> ChooseSaveOptions(const std::string& path,
                                             const SaveOptionDialogs& dialogs) {
    SaveOptions options;
    const FileFormat format = FormatForPath(path);
    const std::function<bool(SaveOptions&)>* dialog = format == FileFormat::Jpeg   ? &dialogs.jpeg
                                                      : format == FileFormat::Tiff ? &dialogs.tiff
                                                                                   : nullptr;
    if (dialog && *dialog && !(*dialog)(options)) return std::nullopt;
    return options;
}

std::string ProposeSaveName(const std::string& path, int untitledNumber) {
    if (path.empty()) return "Untitled-" + std::to_string(untitledNumber);
    for (const char* ext : {".jpeg", ".tiff", ".jpg", ".gif", ".tif", ".png", ".bmp", ".zld"}) {
        if (EndsWithNoCase(path, ext)) return path.substr(0, path.size() - std::string(ext).size());
    }
    return path;
}

std::string ApplyFilterExtension(const std::string& name, SaveFilter filter) {
    auto keep = [&](std::initializer_list<const char*> accepted) {
        for (const char* e : accepted)
            if (EndsWithNoCase(name, e)) return true;
        return false;
    };
    switch (filter) {
        case SaveFilter::Jpeg:
            return keep({".jpg", ".jpeg"}) ? name : name + ".jpg";
        case SaveFilter::Gif:
            return keep({".gif"}) ? name : name + ".gif";
        case SaveFilter::Tiff:
            return keep({".tif", ".tiff"}) ? name : name + ".tif";
        case SaveFilter::Png:
            return keep({".png"}) ? name : name + ".png";
        case SaveFilter::Bmp:
            return keep({".bmp"}) ? name : name + ".bmp";
        case SaveFilter::Layered:
            return keep({".zld"}) ? name : name + ".zld";
    }
    return name;
}

bool NamesSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

std::string OpenElsewhereMessage(const std::string& path) {
    return std::filesystem::path(path).filename().string() +
           " is open in another window. Close that window first, or save under another name.";
}

}  // namespace zelvo
