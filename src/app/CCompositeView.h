// Shows a document's composite, fitted into the window on the grey background, until the
// zooming image view takes its place.
#pragma once

#include <QImage>
#include <QWidget>

namespace zelvo {

class Image;

class CCompositeView : public QWidget {
    Q_OBJECT
public:
    explicit CCompositeView(Image& image, QWidget* parent = nullptr);
    // The composite changed: render it again before the next paint.
    void Invalidate();
    // The picture last shown (null before the first paint).
    const QImage& Picture() const { return m_picture; }
    QSize sizeHint() const override { return {400, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Render();

    Image& m_image;
    QImage m_picture;
    bool m_dirty = true;
};

}  // namespace zelvo
