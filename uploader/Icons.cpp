// The program's two icons, drawn at the sizes a window needs: 128, a globe
// with an arrow going down into a box; 143, a white cross in a red disc.
#include "FlashpostDlg.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap canvas(int size)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

QPixmap drawError(int size)
{
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(120, 0, 0), 1.2));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setPen(QPen(Qt::white, 4.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(22, 22));
    p.drawLine(QPointF(22, 10), QPointF(10, 22));
    return pm;
}

QPixmap drawProgram(int size)
{
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // The globe.
    QRectF globe(2, 1, 20, 20);
    p.setPen(QPen(QColor(0, 60, 140), 1.2));
    p.setBrush(QColor(70, 150, 230));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(7, 1, 10, 20));
    p.drawLine(QPointF(12, 1), QPointF(12, 21));
    p.drawLine(QPointF(2, 11), QPointF(22, 11));
    // The box.
    p.setPen(QPen(QColor(90, 60, 20), 1.2));
    p.setBrush(QColor(210, 170, 100));
    p.drawRect(QRectF(15, 21, 15, 9));
    // The arrow, going down into the box.
    QPainterPath arrow;
    arrow.moveTo(20.5, 8);
    arrow.lineTo(24.5, 8);
    arrow.lineTo(24.5, 17);
    arrow.lineTo(28, 17);
    arrow.lineTo(22.5, 25);
    arrow.lineTo(17, 17);
    arrow.lineTo(20.5, 17);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 90, 0), 1.0));
    p.setBrush(QColor(40, 190, 60));
    p.drawPath(arrow);
    return pm;
}

}  // namespace

QIcon CFlashpostDlg::ProgramIcon()
{
    QIcon icon;
    for (int s : {16, 32, 48})
        icon.addPixmap(drawProgram(s));
    return icon;
}

QIcon CFlashpostDlg::ErrorIcon()
{
    QIcon icon;
    for (int s : {16, 32})
        icon.addPixmap(drawError(s));
    return icon;
}
