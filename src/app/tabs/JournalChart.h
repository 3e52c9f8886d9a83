#pragma once
// One journal bar chart (yearly, daily or load profile): a bar series without
// legend, white, flat, titled, with the bars' dates as labels below and the
// energy or power to the left. It only shows the bars the journal owner
// computed; it keeps no data of its own.

#include "journals/JournalTable.h"

#include <QChartView>

class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChart;
class QValueAxis;

namespace kelvar::app {

class JournalChart : public QChartView
{
    Q_OBJECT
public:
    static const QColor BarColor; // red 0, green 64, blue 128

    JournalChart(journals::JournalKind kind, QWidget *parent = nullptr);

    void setBars(const QList<journals::ChartBar> &bars);
    const QList<journals::ChartBar> &bars() const { return m_bars; }
    QBarSeries *series() const { return m_series; }

    // The chart at its on-screen size on a white background.
    QImage picture();

private:
    journals::JournalKind m_kind;
    QString m_labelFormat;
    QList<journals::ChartBar> m_bars;
    QChart *m_chart;
    QBarSeries *m_series;
    QBarCategoryAxis *m_axisX;
    QValueAxis *m_axisY;
};

// Writes the picture as BMP through a temporary file that replaces path only
// when complete. False with the reason in error when it cannot be written.
bool saveBitmap(const QImage &picture, const QString &path, QString *error);

} // namespace kelvar::app
