// The window inside each image's child frame: scroll bars, the picture from the display tile
// cache, and every mouse, key, wheel and drop event forwarded to the tool controller. The
// zoom and scroll state lives in the image (ImageView); the display refresher renders the
// tiles on its own thread and posts "tiles ready", upon which this window copies them into its
// picture on the user-interface thread and repaints.
#pragma once

#include <memory>
#include <vector>

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>

#include "app/NavigatorTarget.h"
#include "view/ImageView.h"
#include "view/ToolEvents.h"

namespace zelvo {

class DisplayRefresher;
class Image;
class ImageProcessor;
class ToolEvents;
class TransformPreview;

// The tool controller's modifier bits of a key or mouse event.
int ToolModifiers(Qt::KeyboardModifiers modifiers);

class CZelvoView : public QAbstractScrollArea, public NavigatorTarget {
    Q_OBJECT
public:
    CZelvoView(Image& image, DisplayRefresher& refresher, QWidget* parent = nullptr);
    ~CZelvoView() override;

    Image& GetImage() { return m_image; }
    ImageView& Model() { return m_model; }
    // The tool controller the events go to (null: none; the view keeps its own Hand tool).
    void SetToolController(ToolEvents* tools);
    ToolEvents* Tools() const;

    // The document changed: everything is rendered again.
    void Invalidate() { RequestRender(1); }
    void RequestRender(int code);
    // The pixels of canvas rectangle `canvasRect` changed (refresh code 12): the active view
    // renders only the tiles that show part of it; another view redraws whole.
    void RequestRenderRect(const Rect& canvasRect);
    // An adjustment or filter dialog's preview (null when it ends): the refresher draws the
    // current layer through the processor until then.
    void ShowPreview(const ImageProcessor* preview);
    // Hands a render request the image stored by itself (layer manager, history) to the
    // refresher; called from the frame's refresh tick.
    void ServePending();
    // The refresher works for this window's image while it is active.
    void SetActive(bool active);
    bool IsActive() const { return m_active; }
    // Before the image goes: the refresher lets go of it.
    void Detach();
    // The window is closing while its image is still there: a tool operation in it is dropped.
    void Closing();
    // Shows the pointer the tool asks for now (after a tool switch or a change of its options).
    void UpdateCursor();
    // A pending free transform of this window's image: drawn over the picture (null: none).
    void SetTransformPreview(std::shared_ptr<const TransformPreview> preview);
    // Printing: no screen painting meanwhile.
    void SetPrinting(bool on) { m_printing = on; }

    // "Show ratio：%d%%" with the zoom, for the status bar.
    void ShowRatio();
    // The model's zoom was changed from outside (the Zoom In and Zoom Out commands).
    void ModelZoomed() { Changed(true); }
    // Zoom commands: 1 actual pixels, 2 fit on window, 3 print size.
    void SetZoomMode(int mode);
    bool WheelZoom(int delta, bool buttonHeld);

    // Posted by the workers (user-interface thread).
    void OnTilesReady();
    void OnOutline(int phase);

    // The picture as last copied from the tiles (client size; grey around the canvas).
    const QImage& Picture() const { return m_picture; }

    // NavigatorTarget
    float Zoom() const override;
    void ApplyZoom(float factor) override;
    int32_t CanvasWidth() const override;
    int32_t CanvasHeight() const override;
    Rect VisibleRect() const override;
    std::vector<uint8_t> Thumbnail(int32_t width, int32_t height) override;
    void ScrollToZoomedPoint(int32_t x, int32_t y) override;
    bool ToolBusy() const override;

    QSize sizeHint() const override { return {400, 300}; }

signals:
    // The zoom, the scroll position or the picture changed (the navigator follows).
    void viewChanged();
    // "Show ratio：%d%%" for the status bar.
    void statusText(const QString& text);
    // A tool may have changed the document (a release, a click, a key it used).
    void toolActed();
    // The right button asks for sub-menu `subMenu` of the view's pop-up menu (kind
    // ContextChoice::SubMenu) or the brush pop-up (ContextChoice::BrushPopup) at `global`.
    void contextMenu(int kind, int subMenu, const QPoint& global);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct OutlinePixel {
        int32_t x, y;  // client position
        int32_t i, j;  // tile row from the bottom (1..128) and column
    };
    void SyncScrollBars();
    void Changed(bool showRatio);
    // The tiles into the picture: all of it, or only client rectangle `part`.
    void CopyTiles(const Rect& part = {});
    void RenderHere();
    void PaintOutline(int phase);
    void ShiftPicture(int dx, int dy);
    // What a tool event left behind: the zoom, the scroll position, the overlay, the pointer.
    struct Before {
        float zoom;
        int32_t scrollX, scrollY;
        bool busy;
    };
    Before Snapshot() const;
    void AfterToolEvent(const Before& before, bool acted);
    // Another image window fed by the same tools under a screen point, or null.
    CZelvoView* OtherViewAt(const QPoint& global) const;
    // Whether the screen point lies over this view (its scroll bars included) and nothing
    // covers it there.
    bool IsUnder(const QPoint& global) const;
    // Hands a move or release of a drag begun here to `other` in its own coordinates.
    void ForwardToOther(CZelvoView* other, const QMouseEvent* event, bool release);

    Image& m_image;
    DisplayRefresher& m_refresher;
    ImageView m_model;
    ToolEvents* m_tools = nullptr;
    std::unique_ptr<ToolEvents> m_hand;
    std::shared_ptr<const TransformPreview> m_transformPreview;
    QPointer<CZelvoView> m_lastOther;  // the other window the drag was over last
    QImage m_picture;
    std::vector<OutlinePixel> m_outline;
    bool m_active = false;
    bool m_printing = false;
    bool m_syncing = false;
    bool m_captured = false;
    bool m_firstDrawPosted = false;
    bool m_closingSent = false;
    bool m_cursorSet = false;
    CursorInfo m_cursor;
};

}  // namespace zelvo
