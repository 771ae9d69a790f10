#include "app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// A rounded tile of sea water: a beam crossing it, an absorption spectrum in the colours of the
// wavelengths it spans, and the swell at the bottom.
QImage velmora_icon_image(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient sea(0, 0, 0, 256);
    sea.setColorAt(0, QColor("#1b8bb4"));
    sea.setColorAt(1, QColor("#0a2f4f"));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // Swell.
    QPainterPath swell;
    swell.moveTo(8, 200);
    swell.cubicTo(60, 176, 100, 224, 150, 200);
    swell.cubicTo(190, 182, 220, 196, 248, 188);
    swell.lineTo(248, 204);
    swell.arcTo(QRectF(160, 160, 88, 88), 0, -90);
    swell.lineTo(52, 248);
    swell.arcTo(QRectF(8, 160, 88, 88), 270, -90);
    swell.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 46));
    p.drawPath(swell);

    // The beam.
    p.setPen(QPen(QColor(255, 255, 255, 90), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(36, 150), QPointF(220, 150));

    // The spectrum: high in the blue, falling to the red.
    QLinearGradient rainbow(40, 0, 216, 0);
    rainbow.setColorAt(0.00, QColor("#7b4dff"));
    rainbow.setColorAt(0.22, QColor("#2f7bff"));
    rainbow.setColorAt(0.45, QColor("#27d17f"));
    rainbow.setColorAt(0.65, QColor("#ffe14d"));
    rainbow.setColorAt(0.82, QColor("#ff9a3c"));
    rainbow.setColorAt(1.00, QColor("#ff4d4d"));
    QPainterPath curve;
    curve.moveTo(40, 58);
    curve.cubicTo(80, 70, 96, 116, 132, 118);
    curve.cubicTo(164, 120, 176, 96, 196, 112);
    curve.cubicTo(206, 120, 210, 132, 216, 136);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rainbow), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(curve);
    p.end();
    return img;
}

QIcon velmora_icon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(velmora_icon_image(s)));
    return icon;
}
