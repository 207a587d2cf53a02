#include "common/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quellaton {

namespace {
QPixmap Blank(int width, int height, QColor fill = Qt::transparent) {
    QPixmap pixmap(width, height);
    pixmap.fill(fill);
    return pixmap;
}
} // namespace

QPixmap LogoPicture() {
    QPixmap pixmap = Blank(131, 173, QColor(24, 28, 36));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A loudspeaker cone with sound arcs.
    p.setPen(QPen(QColor(200, 200, 210), 2));
    p.setBrush(QColor(60, 66, 80));
    p.drawEllipse(QPointF(52, 62), 30, 30);
    p.setBrush(QColor(120, 126, 140));
    p.drawEllipse(QPointF(52, 62), 12, 12);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 196, 0), 3));
    for (int r = 0; r < 3; ++r) {
        const int radius = 44 + 12 * r;
        p.drawArc(QRectF(52 - radius, 62 - radius, 2 * radius, 2 * radius), -40 * 16, 80 * 16);
    }
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(17);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(0, 118, 131, 24), Qt::AlignCenter, QStringLiteral("QUELLATON"));
    font.setBold(false);
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QColor(170, 176, 190));
    p.drawText(QRect(0, 142, 131, 18), Qt::AlignCenter, QStringLiteral("DSP amplifier control"));
    return pixmap;
}

QPixmap ConnectionPicture(bool portOpen) {
    QPixmap pixmap = Blank(28, 28);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor lamp = portOpen ? QColor(0, 200, 60) : QColor(200, 30, 30);
    QRadialGradient glow(14, 12, 12);
    glow.setColorAt(0, lamp.lighter(160));
    glow.setColorAt(1, lamp.darker(130));
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(glow);
    p.drawEllipse(QRectF(3, 3, 22, 22));
    return pixmap;
}

QPixmap WarningPicture() {
    QPixmap pixmap = Blank(48, 48);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(24, 3);
    triangle.lineTo(46, 44);
    triangle.lineTo(2, 44);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(80, 60, 0), 2));
    p.setBrush(QColor(255, 204, 0));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(21.5, 15, 5, 17), 2, 2);
    p.drawEllipse(QRectF(21.5, 35, 5, 5));
    return pixmap;
}

QPixmap BtlPicture() {
    QPixmap pixmap = Blank(713, 157, QColor(250, 250, 250));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    p.setFont(font);
    // Amplifier block with its two channels bridged into one loudspeaker.
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(225, 232, 242));
    p.drawRoundedRect(QRectF(30, 30, 230, 100), 8, 8);
    p.drawText(QRectF(30, 34, 230, 20), Qt::AlignCenter, QStringLiteral("AMPLIFIER (BTL)"));
    p.drawText(QRectF(50, 70, 90, 20), Qt::AlignLeft, QStringLiteral("MID +"));
    p.drawText(QRectF(50, 100, 90, 20), Qt::AlignLeft, QStringLiteral("LOW +"));
    p.setPen(QPen(QColor(200, 0, 0), 3));
    p.drawLine(QPointF(260, 78), QPointF(470, 78));
    p.setPen(QPen(QColor(20, 20, 20), 3));
    p.drawLine(QPointF(260, 108), QPointF(470, 108));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(470, 60, 40, 66));
    QPainterPath cone;
    cone.moveTo(510, 60);
    cone.lineTo(570, 28);
    cone.lineTo(570, 158 - 30);
    cone.lineTo(510, 126);
    cone.closeSubpath();
    p.setBrush(QColor(120, 120, 135));
    p.drawPath(cone);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRectF(590, 60, 120, 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Bridged output\n(Mid way off)"));
    return pixmap;
}

} // namespace quellaton
