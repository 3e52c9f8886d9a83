#include "TShape.h"

#include <QPainter>
#include <QToolBar>

namespace kelvar::app {

TShape::TShape(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Shape1"));
    setFixedSize(24, 24);
    setVisible(false);
}

TShape *TShape::addTo(QToolBar *bar)
{
    auto *panel = new QWidget(bar);
    panel->setObjectName(QStringLiteral("PanelShape"));
    panel->setFixedSize(32, 24);
    auto *shape = new TShape(panel);
    shape->move(4, 0);
    bar->addSeparator();
    bar->addWidget(panel);
    return shape;
}

QColor TShape::color() const
{
    switch (m_indicator) {
    case Indicator::Green:
        return QColor(0, 255, 0);
    case Indicator::Red:
        return QColor(255, 0, 0);
    case Indicator::Hidden:
        break;
    }
    return {};
}

void TShape::setIndicator(Indicator indicator)
{
    m_indicator = indicator;
    setVisible(indicator != Indicator::Hidden);
    update();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color());
    p.drawEllipse(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

} // namespace kelvar::app
