// The pictures of the tool box and the palette buttons: SVGs of the program's resources, drawn
// at the size and device pixel ratio asked, so they stay crisp on every screen. Normal icons are
// dark; a selected (checked) tool shows its icon light, on the selection colour of its button.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace zelvo {

inline const QColor kIconNormal{0x23, 0x26, 0x29};
inline const QColor kIconSelected{0xfc, 0xfc, 0xfc};
inline const QColor kIconDisabled{0xa0, 0xa3, 0xa6};
// The background of a selected tool-box button.
inline const QColor kToolSelectedFill{0x3d, 0xae, 0xe9};

// The resource path of a tool-box button's icon (a tool id, or 1142 and 1143).
QString ToolIconPath(int id);
// The resource path of a palette button's icon ("layer-new", "zoom-in", ...).
QString PaletteIconPath(const char* name);
// Whether a resource holds a picture that can be drawn.
bool IconResourceValid(const QString& path);

// The icon of the SVG at `path`; a null icon when there is none.
QIcon SvgIcon(const QString& path);
QIcon ToolIcon(int id);
QIcon PaletteIcon(const char* name);

}  // namespace zelvo
