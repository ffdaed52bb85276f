// File names on the save and open roads: the format an extension selects, the name Save As
// proposes, and the extension a save-dialog filter adds.
#pragma once

#include <string>

namespace zelvo {

// The numbers are the flat writers' type selectors; Layered is the .zld format.
enum class FileFormat { None = 0, Bmp = 1, Jpeg = 2, Gif = 3, Tiff = 4, Png = 5, Layered = 6 };

// By the extension, without regard to case; None for any other extension.
FileFormat FormatForPath(const std::string& path);

// The path with a known image extension taken off, or "Untitled-N" without a path.
std::string ProposeSaveName(const std::string& path, int untitledNumber);

// Save As filters, in the dialog's order.
enum class SaveFilter { Jpeg, Gif, Tiff, Png, Bmp, Layered };
// Appends the filter's extension unless the name already ends with one of its extensions.
std::string ApplyFilterExtension(const std::string& name, SaveFilter filter);

}  // namespace zelvo
