// File names on the save and open roads: the format an extension selects, the options dialog it
// asks for, the name Save As proposes, and the extension a save-dialog filter adds.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zelvo {

// The numbers are the flat writers' type selectors; Layered is the .zld format.
enum class FileFormat { None = 0, Bmp = 1, Jpeg = 2, Gif = 3, Tiff = 4, Png = 5, Layered = 6 };

// By the extension, without regard to case; None for any other extension.
FileFormat FormatForPath(const std::string& path);

// What a save needs besides the path: the options the JPEG and TIFF dialogs return.
struct SaveOptions {
    int jpegQuality = 8;      // 1..12
    int tiffCompression = 1;  // 1 none, 5 LZW, 7 JPEG, 8 deflate
    int tiffQuality = 9;      // 1..12, with JPEG compression
};

// The options dialogs, shown by each front end its own way: the GUI as windows, zelvo-batch on
// the dialogs' models with the script's values typed in. Each sets its fields of the options and
// returns false when it was cancelled; one not given leaves its fields at their defaults.
struct SaveOptionDialogs {
    std::function<bool(SaveOptions&)> jpeg;  // "JPEG Options": `jpegQuality`
    std::function<bool(SaveOptions&)> tiff;  // "TIFF Options": `tiffCompression`, `tiffQuality`
};

// The options a save to `path` is written with: JPEG and TIFF run their dialog, the other
// formats take none. Nothing when the dialog was cancelled: the save does not happen.
std::optional<SaveOptions> ChooseSaveOptions(const std::string& path,
                                             const SaveOptionDialogs& dialogs);

// The path with a known image extension taken off, or "Untitled-N" without a path.
std::string ProposeSaveName(const std::string& path, int untitledNumber);

// True when `a` and `b` name one file: the same name, or two names of one existing file.
bool NamesSameFile(const std::string& a, const std::string& b);
// What a save onto the file of another open document is refused with: that window would go on
// showing, and later save over, what the file no longer holds.
std::string OpenElsewhereMessage(const std::string& path);

// Save As filters, in the dialog's order.
enum class SaveFilter { Jpeg, Gif, Tiff, Png, Bmp, Layered };
// Appends the filter's extension unless the name already ends with one of its extensions.
std::string ApplyFilterExtension(const std::string& name, SaveFilter filter);

}  // namespace zelvo
