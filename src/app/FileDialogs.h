// The Open and Save As dialogs: titles, filters in their order, multiple selection, and the
// extension the chosen Save As filter adds.
#pragma once

#include <optional>
#include <string>

#include <QStringList>

class QFileDialog;
class QUrl;
class QWidget;

namespace zelvo {

extern const char* const kOpenTitle;    // "Open Image File"
extern const char* const kSaveAsTitle;  // "Save As Image File"

// Filters in the dialogs' order, as QFileDialog name filters.
QStringList OpenFilters();
QStringList SaveAsFilters();

// The dialogs, set up but not shown. The open dialog starts in `folder` when it exists and
// takes several files; the save dialog proposes `name` and asks before overwriting.
QFileDialog* CreateOpenDialog(QWidget* parent, const QString& folder);
QFileDialog* CreateSaveAsDialog(QWidget* parent, const QString& folder, const QString& name);

// Runs the open dialog; the chosen files, empty when none.
QStringList RunOpenDialog(QWidget* parent, const QString& folder);
// Runs the Save As dialog; the chosen name with the filter's extension applied, nullopt on
// Cancel (or when the user declined to replace a file the extension led to).
std::optional<std::string> RunSaveAsDialog(QWidget* parent, const QString& folder,
                                           const QString& name);
// A file dialog asked about the name as typed; a name that only an added extension makes an
// existing file's must be asked about too, or that file would be replaced without a word.
// False when the user keeps the file.
bool MayReplaceExtendedName(const std::string& typed, const std::string& extended,
                            const char* caption);
// The name the Save As dialog returns for a typed name and the filter chosen (its index).
std::string SaveAsResult(const std::string& typed, int filterIndex);

// A local file URL's path as the file system's bytes, "" for another URL. A name that is not
// UTF-8 (Latin-1 from an old archive) comes percent-encoded in a drop and keeps its bytes.
std::string LocalFileBytes(const QUrl& url);

}  // namespace zelvo
