#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace Artwork {

QPixmap brandBanner(int width, int height)
{
    QPixmap pm(width, height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(0x1F, 0x4E, 0x8C));
    g.setColorAt(1, QColor(0x0E, 0x2A, 0x52));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 6, 6);
    // a small linearization curve through points
    p.setPen(QPen(QColor(0xF2, 0xB1, 0x34), 2));
    QPainterPath curve;
    curve.moveTo(6, height - 8);
    curve.cubicTo(16, height - 12, 22, 14, 36, 8);
    p.drawPath(curve);
    p.setBrush(QColor(0xF2, 0xB1, 0x34));
    for (QPointF pt : {QPointF(6, height - 8), QPointF(20, height / 2.0), QPointF(36, 8)})
        p.drawEllipse(pt, 2.5, 2.5);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(height / 2);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(42, 0, width - 46, height), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("TALVO"));
    return pm;
}

QPixmap meterPicture(int width, int height)
{
    QPixmap pm(width, height);
    pm.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bezel(10, 4, width - 20, height - 8);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0x20, 0x20, 0x24));
    p.drawRoundedRect(bezel, 4, 4);
    const QRectF window = bezel.adjusted(8, 7, -8, -7);
    p.setBrush(QColor(0x10, 0x05, 0x05));
    p.drawRect(window);
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(int(window.height() * 0.8));
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0xFF, 0x3B, 0x2F));
    p.drawText(window, Qt::AlignCenter, QStringLiteral("20.000"));
    return pm;
}

QPixmap iconPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0x4E, 0x8C));
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.15, s * 0.15);
    p.setBrush(QColor(0x10, 0x05, 0x05));
    p.drawRect(QRectF(s * 0.14, s * 0.2, s * 0.72, s * 0.34));
    p.setPen(QPen(QColor(0xFF, 0x3B, 0x2F), std::max(1.0, s / 24)));
    p.drawLine(QPointF(s * 0.2, s * 0.46), QPointF(s * 0.8, s * 0.28));
    p.setPen(QPen(QColor(0xF2, 0xB1, 0x34), std::max(1.0, s / 20)));
    QPainterPath curve;
    curve.moveTo(s * 0.16, s * 0.86);
    curve.cubicTo(s * 0.4, s * 0.84, s * 0.5, s * 0.62, s * 0.84, s * 0.64);
    p.drawPath(curve);
    return pm;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(iconPixmap(size));
    return icon;
}

} // namespace Artwork
