#include "editor_pictures.h"

#include "dsp/scales.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quellaton {

QImage FaderBackgroundPicture() {
    QImage image(FaderWidth, FaderHeight, QImage::Format_RGB32);
    image.fill(QColor(38, 40, 46));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    // The slot the knob runs in, from +5 dB to -20 dB.
    const int slotX = KnobLeft + KnobWidth / 2;
    const int top = LevelToFaderY(5.0);
    const int bottom = LevelToFaderY(-20.0);
    p.fillRect(QRect(slotX - 2, top - 2, 5, bottom - top + 5), QColor(12, 12, 14));
    p.setPen(QColor(90, 92, 100));
    p.drawRect(QRect(slotX - 3, top - 3, 6, bottom - top + 6));

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(10);
    p.setFont(font);
    for (int db = 5; db >= -20; --db) {
        const int y = LevelToFaderY(db);
        const bool major = db % 5 == 0;
        p.setPen(major ? QColor(220, 220, 220) : QColor(120, 122, 130));
        const int length = major ? 10 : 5;
        p.drawLine(slotX - 8 - length, y, slotX - 8, y);
        p.drawLine(slotX + 8, y, slotX + 8 + length, y);
        if (major) {
            const QString text = db > 0 ? QStringLiteral("+%1").arg(db) : QString::number(db);
            p.drawText(QRect(8, y - 7, 40, 14), Qt::AlignRight | Qt::AlignVCenter, text);
            p.drawText(QRect(slotX + 22, y - 7, 40, 14), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
    }
    p.setPen(QColor(160, 162, 170));
    p.drawText(QRect(0, FaderHeight - 22, FaderWidth, 16), Qt::AlignCenter, QStringLiteral("dB"));
    p.setPen(QColor(70, 72, 80));
    p.drawRect(QRect(0, 0, FaderWidth - 1, FaderHeight - 1));
    return image;
}

QImage KnobPicture(bool pressed) {
    QImage image(KnobWidth, KnobHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QLinearGradient body(0, 0, 0, KnobHeight);
    if (pressed) {
        body.setColorAt(0, QColor(255, 214, 120));
        body.setColorAt(1, QColor(200, 140, 30));
    } else {
        body.setColorAt(0, QColor(236, 236, 240));
        body.setColorAt(1, QColor(140, 142, 150));
    }
    p.fillRect(QRect(0, 0, KnobWidth, KnobHeight), body);
    p.setPen(QColor(30, 30, 30));
    p.drawRect(QRect(0, 0, KnobWidth - 1, KnobHeight - 1));
    // The pointer row: the knob is drawn 5 rows above the pointer.
    p.setPen(pressed ? QColor(120, 40, 0) : QColor(20, 20, 20));
    p.drawLine(1, 5, KnobWidth - 2, 5);
    return image;
}

QImage ComposeFader(int knobTop, bool pressed) {
    static const QImage background = FaderBackgroundPicture();
    static const QImage normalKnob = KnobPicture(false);
    static const QImage pressedKnob = KnobPicture(true);
    QImage image = background.copy();
    QPainter p(&image);
    p.drawImage(KnobLeft, knobTop, pressed ? pressedKnob : normalKnob);
    return image;
}

namespace {

void DrawSpeaker(QPainter& p, QRectF box, QColor colour) {
    const double w = box.width();
    const double h = box.height();
    QPainterPath path;
    path.moveTo(box.left(), box.top() + h * 0.35);
    path.lineTo(box.left() + w * 0.3, box.top() + h * 0.35);
    path.lineTo(box.left() + w * 0.65, box.top());
    path.lineTo(box.left() + w * 0.65, box.bottom());
    path.lineTo(box.left() + w * 0.3, box.top() + h * 0.65);
    path.lineTo(box.left(), box.top() + h * 0.65);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

} // namespace

QPixmap RowIconPicture(bool bridged) {
    QPixmap pixmap(RowIconSize, RowIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (!bridged) {
        DrawSpeaker(p, QRectF(2, 4, 14, 14), QColor(60, 64, 74));
        p.setPen(QPen(QColor(60, 64, 74), 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 6, 10, 10), -45 * 16, 90 * 16);
        p.drawArc(QRectF(6, 3, 15, 16), -45 * 16, 90 * 16);
    } else {
        // Two amplifier halves joined into one output.
        p.setPen(QPen(QColor(0, 128, 0), 1.6));
        p.setBrush(QColor(200, 235, 200));
        p.drawRoundedRect(QRectF(1, 1, 20, 20), 3, 3);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(8);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(0, 100, 0));
        p.drawText(QRectF(1, 1, 20, 20), Qt::AlignCenter, QStringLiteral("BTL"));
    }
    return pixmap;
}

QPixmap RowLinePicture() {
    QPixmap pixmap(RowLineWidth, RowLineHeight);
    QPainter p(&pixmap);
    QLinearGradient line(0, 0, 0, RowLineHeight);
    line.setColorAt(0, QColor(150, 150, 160));
    line.setColorAt(0.5, QColor(90, 90, 100));
    line.setColorAt(1, QColor(150, 150, 160));
    p.fillRect(pixmap.rect(), line);
    return pixmap;
}

QPixmap DelayPopupPicture() {
    QPixmap pixmap(DelayPictureWidth, DelayPictureHeight);
    pixmap.fill(QColor(246, 246, 248));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawSpeaker(p, QRectF(6, 16, 22, 22), QColor(60, 64, 74));
    // Sound travelling to a listener.
    p.setPen(QPen(QColor(0, 120, 200), 1.5, Qt::DashLine));
    p.drawLine(QPointF(34, 27), QPointF(118, 27));
    p.setPen(QPen(QColor(0, 120, 200), 1.5));
    p.drawLine(QPointF(118, 27), QPointF(111, 22));
    p.drawLine(QPointF(118, 27), QPointF(111, 32));
    p.setBrush(QColor(60, 64, 74));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(134, 17), 5, 5);
    p.drawRoundedRect(QRectF(128, 24, 12, 18), 4, 4);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QColor(60, 64, 74));
    p.drawText(QRectF(34, 34, 84, 16), Qt::AlignCenter, QStringLiteral("ms / m / ft"));
    p.setPen(QColor(200, 200, 206));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, DelayPictureWidth - 1, DelayPictureHeight - 1));
    return pixmap;
}

} // namespace quellaton
