#include "app/CBrushPopup.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>

#include "tools/ToolController.h"

namespace zelvo {

CBrushPopup::CBrushPopup(ToolController& tools, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_tools(tools) {
    setObjectName("BrushPopup");
    setFrameShape(QFrame::StyledPanel);
    setFixedSize(kWidth, kHeight);
    Add("Diameter:", "diameter", 1, 500, 12);
    Add("Hardness:", "hardness", 0, 100, 92);
}

void CBrushPopup::Add(const char* caption, const char* key, int min, int max, int top) {
    auto* label = new QLabel(caption, this);
    label->setGeometry(10, top, 80, 20);
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QString(key) + "-box");
    spin->setRange(min, max);
    spin->setGeometry(95, top, 65, 22);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QString(key) + "-slider");
    slider->setRange(min, max);
    slider->setGeometry(10, top + 30, 150, 22);
    const int value = m_tools.Options().GetInt(0, key);
    spin->setValue(value);
    slider->setValue(value);
    // Both stay within the model's range, so the model never refuses them.
    auto apply = [this, key, spin, slider](int v) {
        const QSignalBlocker a(spin), b(slider);
        spin->setValue(v);
        slider->setValue(v);
        m_tools.Options().Set(0, key, std::to_string(v));
    };
    connect(spin, &QSpinBox::valueChanged, this, apply);
    connect(slider, &QSlider::valueChanged, this, apply);
}

void CBrushPopup::ShowAt(const QPoint& global) {
    QPoint at = global;
    if (QScreen* screen = QGuiApplication::screenAt(global)) {
        const QRect area = screen->availableGeometry();
        if (at.x() + width() > area.right()) at.rx() -= width();
        if (at.y() + height() > area.bottom()) at.ry() -= height();
    }
    move(at);
    show();
}

}  // namespace zelvo
