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
    Add("Diameter:", "diameter", 0, 1, 500, 8);
    Add("Hardness:", "hardness", 0, 0, 100, 72);
    Add("Opacity:", "opacity", int(tools.CurrentTool()), 0, 100, 136);
}

void CBrushPopup::Add(const char* caption, const char* key, int tool, int min, int max, int top) {
    auto* label = new QLabel(caption, this);
    label->setGeometry(10, top, 80, 22);
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QString(key) + "-box");
    spin->setRange(min, max);
    spin->setGeometry(95, top, 65, 22);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QString(key) + "-slider");
    slider->setRange(min, max);
    slider->setGeometry(10, top + 28, 150, 22);
    m_rows.push_back({key, tool, spin, slider});
    Show(m_rows.back());
    // Both stay within the model's range, so the model never refuses them.
    auto apply = [this, key, tool](int v) { m_tools.Options().Set(tool, key, std::to_string(v)); };
    connect(spin, &QSpinBox::valueChanged, this, apply);
    connect(slider, &QSlider::valueChanged, this, apply);
}

void CBrushPopup::Show(const Row& row) {
    const int value = m_tools.Options().GetInt(row.tool, row.key);
    const QSignalBlocker a(row.spin), b(row.slider);
    row.spin->setValue(value);
    row.slider->setValue(value);
}

void CBrushPopup::ModelChanged(int tool, const std::string& key) {
    for (const Row& row : m_rows)
        if (row.key == key && row.tool == tool) Show(row);
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
