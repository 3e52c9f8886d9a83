#pragma once
// The year grid of the schedule editor (StringGrid1): months across, day types
// down, every cell drawn from the schedule model's flags. A released click on
// a cell is reported with the modifiers held when it was pressed; what the
// click does is the editor's business.
//
// The grid tells screen readers about its cells: each is a table cell named
// by month and day type, selectable, and described as current, changed,
// empty or starting after midnight.

#include "app/schedule/GridGeometry.h"

#include <QWidget>

namespace kelvar::schedule {
class ScheduleModel;
}

namespace kelvar::app {

class YearGrid : public QWidget
{
    Q_OBJECT
public:
    explicit YearGrid(const schedule::ScheduleModel &model, QWidget *parent = nullptr);

    const schedule::ScheduleModel &model() const { return m_model; }
    YearGridGeometry geometryNow() const { return {width(), height()}; }
    // Where cell (month, day type) lies, in the grid's coordinates.
    QRect cellRect(int month, int dayType) const { return geometryNow().cellRect(month, dayType); }
    // The cell's state as a screen reader hears it ("текущая, выбрана, ...").
    QString cellDescription(int month, int dayType) const;
    // Tells screen readers that the selection or the cells' states changed.
    void announceChange();

signals:
    // A press on a cell and its release on a cell: the pressed cell, and
    // whether Shift and Ctrl were held at the press.
    void cellClicked(int month, int dayType, bool shift, bool ctrl);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const schedule::ScheduleModel &m_model;
    std::optional<QPoint> m_pressed;
    bool m_shift = false;
    bool m_ctrl = false;
};

// The day bar (PaintBoxDay): gray, then from each zone's start to the right
// end the zone's tariff in the lower half and its exceed tariff in the upper
// half; later zones paint over earlier ones.
class DayBar : public QWidget
{
    Q_OBJECT
public:
    explicit DayBar(QWidget *parent = nullptr);

    struct Zone {
        int start = 0; // minute of the day
        int tariff = 1;
        int exceedTariff = 1;
    };
    // The zones in list order and the colour of every tariff number.
    void setZones(const QList<Zone> &zones);
    void setTariffColors(const QList<QColor> &colors); // index 0: tariff 1
    // Gray 80 80 80 for a tariff without a colour.
    QColor tariffColor(int tariff) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<Zone> m_zones;
    QList<QColor> m_colors;
};

} // namespace kelvar::app
