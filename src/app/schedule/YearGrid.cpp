#include "YearGrid.h"

#include "schedule/ScheduleModel.h"
#include "schedule/Tables.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>

namespace kelvar::app {

using schedule::DayTypeCount;
using schedule::MonthCount;

namespace {

const QColor HeaderColor(0xE6, 0xE6, 0xE6);
const QColor CurrentColor(0xFF, 0xFF, 0x00);
const QColor SelectedColor(0xA6, 0xCA, 0xF0);
const QColor EmptyColor(0xA0, 0xA0, 0xA4);
const QColor FilledColor(0xFF, 0xFF, 0xE6);
const QColor BarGray(0x80, 0x80, 0x80);

// --- Accessibility: the grid as a table of 96 cells --------------------------

class YearGridCellAccessible : public QAccessibleInterface
{
public:
    YearGridCellAccessible(YearGrid *grid, int month, int dayType)
        : m_grid(grid), m_month(month), m_dayType(dayType)
    {
    }
    bool isValid() const override { return !m_grid.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_grid.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!m_grid)
            return {};
        switch (t) {
        case QAccessible::Name:
            return schedule::monthName(m_month) + QStringLiteral(", ") + schedule::dayTypeName(m_dayType);
        case QAccessible::Description:
            return m_grid->cellDescription(m_month, m_dayType);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!m_grid)
            return {};
        const QRect r = m_grid->cellRect(m_month, m_dayType);
        return QRect(m_grid->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!m_grid)
            return s;
        const schedule::ScheduleModel &model = m_grid->model();
        s.selectable = true;
        s.selected = model.SelectedCells().at(m_month, m_dayType);
        s.active = model.CurMonth() == m_month && model.CurDayType() == m_dayType;
        s.invisible = !m_grid->isVisible();
        return s;
    }

private:
    QPointer<YearGrid> m_grid;
    int m_month;
    int m_dayType;
};

class YearGridAccessible : public QAccessibleWidget
{
public:
    explicit YearGridAccessible(YearGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~YearGridAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_cells))
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return MonthCount * DayTypeCount; }
    // Cells in reading order: day type by day type, months across.
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto it = m_cells.constFind(index);
        if (it != m_cells.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto *cell = new YearGridCellAccessible(grid(), index % MonthCount + 1, index / MonthCount + 1);
        m_cells.insert(index, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_cells.constBegin(); it != m_cells.constEnd(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const std::optional<QPoint> cell = grid()->geometryNow().cellAt(grid()->mapFromGlobal(QPoint(x, y)));
        return cell ? child((cell->y() - 1) * MonthCount + cell->x() - 1) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty())
            return QStringLiteral("Тарифное расписание по месяцам и типам дней");
        return own;
    }

private:
    YearGrid *grid() const { return static_cast<YearGrid *>(widget()); }
    mutable QHash<int, QAccessible::Id> m_cells;
};

QAccessibleInterface *yearGridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("kelvar::app::YearGrid") && object && object->isWidgetType())
        return new YearGridAccessible(static_cast<YearGrid *>(object));
    return nullptr;
}

// The grid's bold font, made smaller where the cells are too narrow or too
// low for the widest header.
QFont headerFont(const QFont &base, const YearGridGeometry &g)
{
    QStringList texts;
    for (int m = 1; m <= MonthCount; ++m)
        texts << schedule::monthShortName(m);
    QFont f = base;
    for (int px = base.pixelSize(); px > 6; --px) {
        f.setPixelSize(px);
        const QFontMetrics metrics(f);
        const bool fits = std::all_of(texts.cbegin(), texts.cend(), [&](const QString &t) {
            return metrics.horizontalAdvance(t) <= g.columnWidth() - 4;
        });
        if (fits && metrics.height() <= g.rowHeight())
            break;
    }
    return f;
}

} // namespace

// --- The year grid -------------------------------------------------------------

YearGrid::YearGrid(const schedule::ScheduleModel &model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(yearGridFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setObjectName(QStringLiteral("StringGrid1"));
    setAccessibleName(QStringLiteral("Тарифное расписание по месяцам и типам дней"));
    setMinimumSize(YearGridGeometry::Columns * 24, YearGridGeometry::Rows * 20);
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(18);
    setFont(f);
}

QString YearGrid::cellDescription(int month, int dayType) const
{
    QStringList parts;
    if (m_model.CurMonth() == month && m_model.CurDayType() == dayType)
        parts << QStringLiteral("текущая");
    if (m_model.SelectedCells().at(month, dayType))
        parts << QStringLiteral("выбрана");
    if (m_model.ChangedCells().at(month, dayType))
        parts << QStringLiteral("изменена");
    else if (m_model.EquivalentCells().at(month, dayType))
        parts << QStringLiteral("как текущая");
    if (m_model.EmptyCells().at(month, dayType))
        parts << QStringLiteral("нет зон");
    else if (m_model.NoMidnightCells().at(month, dayType))
        parts << QStringLiteral("нет зоны с 00:00");
    return parts.join(QStringLiteral(", "));
}

void YearGrid::announceChange()
{
    update();
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(this, QAccessible::SelectionWithin);
    QAccessible::updateAccessibility(&event);
}

void YearGrid::paintEvent(QPaintEvent *)
{
    const YearGridGeometry g = geometryNow();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(headerFont(font(), g));
    const auto outline = [&p](const QRect &r) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };

    for (int column = 0; column < YearGridGeometry::Columns; ++column) {
        for (int row = 0; row < YearGridGeometry::Rows; ++row) {
            const QRect r = g.cellRect(column, row);
            if (column == 0 || row == 0) {
                p.fillRect(r, HeaderColor);
                outline(r);
                QString text;
                QColor color = Qt::black;
                if (row == 0 && column > 0) {
                    text = schedule::monthShortName(column);
                } else if (column == 0 && row > 0) {
                    text = schedule::dayTypeShortName(row);
                    if (row >= 6)
                        color = Qt::red;
                }
                p.setPen(color);
                p.drawText(r, Qt::AlignCenter, text);
                continue;
            }
            const int month = column;
            const int dayType = row;
            const bool selected = m_model.SelectedCells().at(month, dayType);
            const bool current = m_model.CurMonth() == month && m_model.CurDayType() == dayType;
            const bool empty = m_model.EmptyCells().at(month, dayType);
            const QColor base = selected ? (current ? CurrentColor : SelectedColor) : empty ? EmptyColor : FilledColor;
            p.fillRect(r, base);
            if (empty != m_model.NoMidnightCells().at(month, dayType)) {
                // No zone starts at midnight: the day begins without a tariff of this cell.
                QPainterPath upperLeft;
                upperLeft.moveTo(r.topLeft());
                upperLeft.lineTo(r.right() + 1, r.top());
                upperLeft.lineTo(r.left(), r.bottom() + 1);
                upperLeft.closeSubpath();
                p.fillPath(upperLeft, EmptyColor);
            }
            outline(r);
            const bool changed = m_model.ChangedCells().at(month, dayType);
            if (changed || m_model.EquivalentCells().at(month, dayType)) {
                const int d = g.circleDiameter();
                if (d > 0) {
                    p.setRenderHint(QPainter::Antialiasing, true);
                    p.setPen(Qt::NoPen);
                    p.setBrush(changed ? Qt::red : Qt::black);
                    p.drawEllipse(QRect(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
                    p.setRenderHint(QPainter::Antialiasing, false);
                }
            }
        }
    }
}

void YearGrid::mousePressEvent(QMouseEvent *event)
{
    m_pressed = geometryNow().cellAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        m_shift = event->modifiers().testFlag(Qt::ShiftModifier);
        m_ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    }
    event->accept();
}

void YearGrid::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const std::optional<QPoint> pressed = m_pressed;
    m_pressed.reset();
    if (!pressed || !geometryNow().cellAt(event->position().toPoint()))
        return;
    emit cellClicked(pressed->x(), pressed->y(), m_shift, m_ctrl);
}

// --- The day bar ------------------------------------------------------------------

DayBar::DayBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PaintBoxDay"));
    setAccessibleName(QStringLiteral("Зоны суток"));
    setMinimumHeight(16);
}

void DayBar::setZones(const QList<Zone> &zones)
{
    m_zones = zones;
    QStringList described;
    for (const Zone &z : zones)
        described << QStringLiteral("%1 тариф %2").arg(schedule::timeText(z.start)).arg(z.tariff);
    setAccessibleDescription(described.join(QStringLiteral("; ")));
    update();
}

void DayBar::setTariffColors(const QList<QColor> &colors)
{
    m_colors = colors;
    update();
}

QColor DayBar::tariffColor(int tariff) const
{
    return tariff >= 1 && tariff <= m_colors.size() ? m_colors.at(tariff - 1) : BarGray;
}

void DayBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), BarGray);
    const int upper = height() / 2;
    for (const Zone &z : std::as_const(m_zones)) {
        const int x = dayBarX(width(), z.start);
        p.fillRect(QRect(x, 0, width() - x, upper), tariffColor(z.exceedTariff));
        p.fillRect(QRect(x, upper, width() - x, height() - upper), tariffColor(z.tariff));
    }
}

} // namespace kelvar::app
