#include "app/ToolIcons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in this static library: they must be registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace zelvo {

namespace {

QByteArray ReadResource(const QString& path) {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// Draws one SVG in the colour of the icon's mode and state (the SVGs paint with currentColor).
class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(QByteArray svg) : m_svg(std::move(svg)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        QSvgRenderer renderer(Coloured(mode, state));
        if (!renderer.isValid()) return;
        // Square, centred, whatever the rectangle.
        const int side = std::min(rect.width(), rect.height());
        const QRectF at(rect.x() + (rect.width() - side) / 2.0,
                        rect.y() + (rect.height() - side) / 2.0, side, side);
        renderer.render(painter, at);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // QIcon asks with the size in device pixels already.
    QPixmap scaledPixmap(const QSize& device, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pm(device.isEmpty() ? QSize(1, 1) : device);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            paint(&p, QRect(QPoint(0, 0), device), mode, state);
        }
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SvgIconEngine(m_svg); }
    QString key() const override { return QStringLiteral("ZelvoSvgIcon"); }

private:
    QByteArray Coloured(QIcon::Mode mode, QIcon::State state) const {
        const QColor c = mode == QIcon::Disabled ? kIconDisabled
                         : state == QIcon::On    ? kIconSelected
                                                 : kIconNormal;
        QByteArray svg = m_svg;
        return svg.replace("currentColor", c.name().toLatin1());
    }

    QByteArray m_svg;
};

}  // namespace

QString ToolIconPath(int id) {
    return QString(":/icons/tools/%1.svg").arg(id);
}

QString PaletteIconPath(const char* name) {
    return QString(":/icons/palettes/%1.svg").arg(QLatin1String(name));
}

bool IconResourceValid(const QString& path) {
    const QByteArray svg = ReadResource(path);
    return !svg.isEmpty() && QSvgRenderer(svg).isValid();
}

QIcon SvgIcon(const QString& path) {
    QByteArray svg = ReadResource(path);
    if (svg.isEmpty()) return {};
    return QIcon(new SvgIconEngine(std::move(svg)));
}

QIcon ToolIcon(int id) {
    return SvgIcon(ToolIconPath(id));
}

QIcon PaletteIcon(const char* name) {
    return SvgIcon(PaletteIconPath(name));
}

}  // namespace zelvo
