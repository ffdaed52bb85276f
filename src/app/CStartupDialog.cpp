#include "app/CStartupDialog.h"

#include <QLinearGradient>
#include <QPainter>

namespace zelvo {

CStartupDialog::CStartupDialog(int screenWidth, int screenHeight, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kCaption);
    setModal(false);
    setFixedSize(kWidth, kHeight);
    move((screenWidth - 420) / 2, (screenHeight - 240) / 2);
}

void CStartupDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(10, 36, 106));
    g.setColorAt(1, QColor(90, 140, 200));
    p.fillRect(rect(), g);
    p.setPen(Qt::white);
    QFont f = font();
    f.setPointSize(28);
    f.setBold(true);
    p.setFont(f);
    p.drawText(rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, "Zelvo");
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(rect().adjusted(0, 80, 0, 0), Qt::AlignCenter, "Preparing the temporary disk...");
}

}  // namespace zelvo
