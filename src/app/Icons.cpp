#include "Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <cmath>
#include <functional>

namespace kelvar::app {

namespace {

// A meter front: housing, display window with digits, the terminal cover.
void drawMeter(QPainter &p, const QRectF &r)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), r.width() / 40.0 + 0.5));
    p.setBrush(QColor(225, 225, 215));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -r.height() * 0.25), r.width() / 12, r.width() / 12);
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(QRectF(r.left() + r.width() * 0.1, r.bottom() - r.height() * 0.25, r.width() * 0.8, r.height() * 0.22));
    const QRectF display(r.left() + r.width() * 0.15, r.top() + r.height() * 0.15, r.width() * 0.7, r.height() * 0.25);
    p.setBrush(QColor(170, 210, 170));
    p.drawRect(display);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(qMax(6, int(display.height() * 0.8)));
    p.setFont(font);
    p.setPen(QColor(20, 60, 20));
    p.drawText(display, Qt::AlignCenter, QStringLiteral("517"));
}

QPixmap canvas(int w, int h)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon painted(const std::function<void(QPainter &)> &paint)
{
    QPixmap pixmap = canvas(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return QIcon(pixmap);
}

void arrow(QPainter &p, QPointF from, QPointF to, const QColor &color)
{
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, std::hypot((to - from).x(), (to - from).y()));
    const QPointF n(-d.y(), d.x());
    QPainterPath head;
    head.moveTo(to + d * 2);
    head.lineTo(to - d * 3 + n * 3);
    head.lineTo(to - d * 3 - n * 3);
    head.closeSubpath();
    p.fillPath(head, color);
}

} // namespace

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap = canvas(size, size);
        QPainter p(&pixmap);
        drawMeter(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap aboutPicture()
{
    QPixmap pixmap(165, 93);
    pixmap.fill(QColor(236, 240, 246));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A line of three meters on a mounting board.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 208, 220));
    p.drawRect(8, 70, 149, 8);
    for (int i = 0; i < 3; ++i)
        drawMeter(p, QRectF(12 + i * 50, 12, 42, 62));
    return pixmap;
}

QIcon actionIcon(IconKind kind)
{
    QStyle *style = QApplication::style();
    switch (kind) {
    case IconKind::NewSchedule:
        return style->standardIcon(QStyle::SP_FileIcon);
    case IconKind::LoadSchedule:
        return style->standardIcon(QStyle::SP_DialogOpenButton);
    case IconKind::SaveSchedule:
        return style->standardIcon(QStyle::SP_DialogSaveButton);
    case IconKind::Connect:
        return painted([](QPainter &p) {
            p.setPen(QPen(QColor(0, 128, 0), 2));
            p.drawLine(1, 8, 6, 8);
            p.drawLine(10, 8, 15, 8);
            p.setBrush(QColor(0, 170, 0));
            p.drawRect(5, 4, 6, 8);
        });
    case IconKind::Disconnect:
        return painted([](QPainter &p) {
            p.setPen(QPen(QColor(150, 0, 0), 2));
            p.drawLine(1, 8, 5, 8);
            p.drawLine(11, 8, 15, 8);
            p.setBrush(QColor(200, 40, 40));
            p.drawRect(3, 5, 3, 6);
            p.drawRect(10, 5, 3, 6);
        });
    case IconKind::FindAddress:
        return painted([](QPainter &p) {
            p.setPen(QPen(QColor(30, 30, 120), 2));
            p.drawEllipse(QRectF(2, 2, 8, 8));
            p.drawLine(9, 9, 14, 14);
        });
    case IconKind::WriteSettings:
        return painted([](QPainter &p) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(QColor(225, 225, 215));
            p.drawRect(QRectF(1.5, 8.5, 13, 6));
            arrow(p, QPointF(8, 1), QPointF(8, 7), QColor(0, 0, 180));
        });
    case IconKind::FixDb:
        return painted([](QPainter &p) {
            p.setPen(QPen(QColor(60, 60, 60), 1));
            p.setBrush(QColor(230, 200, 90));
            p.drawRect(QRectF(3, 4, 10, 9));
            p.drawEllipse(QRectF(3, 1.5, 10, 5));
            p.drawArc(QRectF(3, 10.5, 10, 5), 180 * 16, 180 * 16);
        });
    case IconKind::Report:
        return painted([](QPainter &p) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 1.5, 9, 13));
            for (int y = 4; y <= 12; y += 2)
                p.drawLine(5, y, 11, y);
        });
    case IconKind::WriteSchedule:
    case IconKind::ReadSchedule:
        return painted([kind](QPainter &p) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(QColor(255, 240, 160));
            p.drawRect(QRectF(1.5, 1.5, 8, 8));
            p.drawLine(QPointF(5.5, 3), QPointF(5.5, 6));
            p.drawLine(QPointF(5.5, 6), QPointF(8, 6));
            if (kind == IconKind::WriteSchedule)
                arrow(p, QPointF(8, 11), QPointF(13, 11), QColor(0, 0, 180));
            else
                arrow(p, QPointF(14, 11), QPointF(9, 11), QColor(0, 130, 0));
        });
    }
    return {};
}

} // namespace kelvar::app
