// The Navigator palette (F8): a thumbnail of the active document with a red frame around the
// part its view shows, dragging in it to scroll the view, the zoom box, the zoom slider and the
// "<<" / ">>" step buttons. It knows the view only as a NavigatorTarget.
#pragma once

#include <QImage>
#include <QWidget>

#include "app/NavigatorRules.h"
#include "core/Types.h"

class QLineEdit;
class QPushButton;
class QSlider;

namespace zelvo {

class NavigatorTarget;

class CNavigatorPalette : public QWidget {
    Q_OBJECT
public:
    explicit CNavigatorPalette(QWidget* parent = nullptr);

    // The active view, or nullptr when no document is open. The caller clears it before the
    // view goes away.
    void SetTarget(NavigatorTarget* target);
    NavigatorTarget* Target() const { return m_target; }
    // Renders the thumbnail again (when `always`, else only after MarkStale or a new target),
    // takes the visible part and, when the view's zoom changed elsewhere, moves the controls to
    // it.
    void Refresh(bool always = true);
    // The view was drawn again: the next Refresh renders the thumbnail.
    void MarkStale() { m_stale = true; }
    // Thumbnails rendered so far.
    int Renders() const { return m_renders; }

    // 0 while no document is open.
    float Zoom() const { return m_zoom; }
    // The thumbnail drawn (null when there is none) and where.
    const QImage& Thumbnail() const { return m_thumbnail; }
    Point ThumbnailOrigin() const { return m_origin; }
    NavigatorRules::ThumbScale ThumbnailScale() const { return m_scale; }
    bool Dragging() const { return m_dragging; }

    QLineEdit* ZoomEdit() const { return m_edit; }
    QSlider* Slider() const { return m_slider; }
    QPushButton* ZoomOutButton() const { return m_zoomOut; }
    QPushButton* ZoomInButton() const { return m_zoomIn; }

    // The control handlers, also reached by the widgets' signals.
    void OnZoomEntered();
    void OnSliderMoved(int position);
    void OnZoomOut();
    void OnZoomIn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShowNoDocument();
    // The controls show `zoom` (edit text, slider position) and are enabled.
    void ShowZoom(float zoom);
    void Apply(float zoom);
    void Step(int position);
    void RenderThumbnail();
    void ScrollTo(Point pressed);

    NavigatorTarget* m_target = nullptr;
    float m_zoom = 0.0f;
    // The controls must follow the target's zoom at the next Refresh (a new target).
    bool m_resync = true;
    bool m_stale = true;
    int m_renders = 0;
    bool m_updating = false;

    QImage m_thumbnail;
    Point m_origin;
    NavigatorRules::ThumbScale m_scale;
    Rect m_visible;

    bool m_dragging = false;
    NavigatorRules::ThumbScale m_dragScale;
    Point m_dragOrigin;

    QLineEdit* m_edit;
    QPushButton* m_zoomOut;
    QSlider* m_slider;
    QPushButton* m_zoomIn;
};

}  // namespace zelvo
