// The Layers palette (F5): one 25-pixel row per layer, the top layer first, with its
// visibility, link mark and kind; the current row in RGB (10, 36, 106); the opacity slider and
// edit box; the New Layer, Delete Layer, Up and Down buttons. The rows, clicks and opacity go
// through the palette's model; the buttons run the Layer menu's commands.
#pragma once

#include <map>
#include <memory>
#include <tuple>

#include <QImage>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;

namespace zelvo {

class CMainFrame;
class Image;
class LayersPaletteModel;

class CLayersPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 200;
    static constexpr int kRowHeight = 25;
    static constexpr int kRowWidth = 180;
    static constexpr int kVisibleRows = 6;  // the scroll bar is disabled below 7 layers
    static constexpr const char* kOpacityTooltip = "Set the transparency of layers";
    // The picture of each layer at the left of its name column.
    static constexpr int kThumbnailSide = 21;

    explicit CLayersPalette(QWidget* parent = nullptr);
    ~CLayersPalette() override;

    // The active document, null when none.
    void SetDocument(Image* image);
    Image* Document() const { return m_image; }
    // Re-reads the document: rows, scroll range, the current layer's opacity.
    void Refresh();

    // Row 0 is the top layer; the layer's list index, -1 when the row is empty.
    int LayerIndexOfRow(int row) const;
    // A click in the rows area at (x, y) (rows-area coordinates).
    void ClickRow(int x, int y, Qt::KeyboardModifiers modifiers = {});
    // A right click at height y of the rows area (`global` on the screen): the row's layer
    // becomes current and the Layer menu opens there.
    void ContextClick(int y, const QPoint& global);

    QWidget* RowsArea() const { return m_rows; }
    QScrollBar* ScrollBar() const { return m_scroll; }
    QSlider* OpacitySlider() const { return m_slider; }
    QLineEdit* OpacityEdit() const { return m_edit; }
    QPushButton* NewLayerButton() const { return m_new; }
    QPushButton* DeleteLayerButton() const { return m_delete; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }

    void PaintRows(QWidget* target);
    // The picture shown for the layer of a row (a null image for an empty row).
    QImage Thumbnail(int row);

private:
    void ApplyOpacity(int value, bool final);
    void EndToolWork();
    // The slider and the box show the layer's opacity; the box keeps text being typed into it
    // unless `typingDone`.
    void ShowOpacity(bool typingDone = false);
    // A button: the Layer menu's command through the frame (its enabling, redraw and palette
    // refresh), or by itself when the palette has no frame.
    void RunCommand(int id);
    // The document changed through the palette: redraw it and refresh the palettes.
    void Changed();
    CMainFrame* Frame() const;
    bool HaveDocument() const;

    Image* m_image = nullptr;
    std::unique_ptr<LayersPaletteModel> m_model;
    QWidget* m_rows;
    QScrollBar* m_scroll;
    QSlider* m_slider;
    QLineEdit* m_edit;
    QPushButton* m_new;
    QPushButton* m_delete;
    QPushButton* m_up;
    QPushButton* m_down;
    bool m_refreshing = false;
    // Pictures by layer, redrawn when the layer, the canvas or the history changed.
    using ThumbnailKey = std::tuple<uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                    int32_t, uint32_t, int, int>;
    std::map<const void*, std::pair<ThumbnailKey, QImage>> m_thumbnails;
};

}  // namespace zelvo
