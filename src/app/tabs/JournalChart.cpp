#include "JournalChart.h"

#include "common/TextFormat.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QPainter>
#include <QSaveFile>
#include <QValueAxis>

namespace kelvar::app {

const QColor JournalChart::BarColor(0, 64, 128);

namespace {

struct ChartLook {
    const char *series;
    QString title;
    QString axisTitle;
    QString labelFormat;
};

ChartLook lookOf(journals::JournalKind kind)
{
    switch (kind) {
    case journals::JournalKind::Yearly:
        return {"Series1", QStringLiteral("Годовой журнал (кВт.ч)"), QStringLiteral("кВт.ч"), QStringLiteral("MMM")};
    case journals::JournalKind::Daily:
        return {"BarSeries1", QStringLiteral("Суточный журнал (кВт.ч)"), QStringLiteral("кВт.ч"), QStringLiteral("dd")};
    default:
        return {"BarSeries2", QStringLiteral("Профиль нагрузки (кВт)"), QStringLiteral("кВт"), QStringLiteral("hh:mm")};
    }
}

} // namespace

JournalChart::JournalChart(journals::JournalKind kind, QWidget *parent)
    // The view is made with its chart: a view made without one makes a chart
    // of its own, which setChart() would let go of without deleting it.
    : QChartView(new QChart, parent)
    , m_kind(kind)
    , m_chart(chart())
    , m_series(new QBarSeries)
    , m_axisX(new QBarCategoryAxis)
    , m_axisY(new QValueAxis)
{
    const ChartLook look = lookOf(kind);
    m_labelFormat = look.labelFormat;
    m_series->setObjectName(QLatin1String(look.series));
    m_series->setBarWidth(0.8);
    m_chart->setTitle(look.title);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(11);
    m_chart->setTitleFont(titleFont);
    m_chart->setTitleBrush(Qt::black);
    m_chart->legend()->hide();
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->addSeries(m_series);
    m_axisY->setTitleText(look.axisTitle);
    m_axisY->setLabelFormat(QStringLiteral("%g"));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    if (kind != journals::JournalKind::Yearly) {
        // Up to 31 or 48 bars: their labels stand upright to fit below them.
        m_axisX->setLabelsAngle(-90);
        QFont labelFont = m_axisX->labelsFont();
        labelFont.setPixelSize(10);
        m_axisX->setLabelsFont(labelFont);
        m_axisX->setTruncateLabels(false);
    }
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);
    setRenderHint(QPainter::Antialiasing, false);
    setBackgroundBrush(Qt::white);
    setAccessibleName(look.title);
    setBars({});
}

void JournalChart::setBars(const QList<journals::ChartBar> &bars)
{
    m_bars = bars;
    m_series->clear();
    m_axisX->clear();
    auto *set = new QBarSet(QString());
    set->setColor(BarColor);
    set->setBorderColor(BarColor);
    QStringList labels;
    double top = 0;
    for (const journals::ChartBar &bar : bars) {
        *set << bar.value;
        top = std::max(top, bar.value);
        QString label = text::locale().toString(bar.x, m_labelFormat);
        // Category labels must differ; a repeated label gets a trailing blank.
        while (labels.contains(label))
            label += QLatin1Char(' ');
        labels << label;
    }
    m_series->append(set);
    m_axisX->append(labels);
    // The value axis keeps a little room above the highest bar.
    m_axisY->setRange(0, top > 0 ? top * 1.05 : 1);
    m_axisY->applyNiceNumbers();
}

QImage JournalChart::picture()
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    render(&painter);
    return image;
}

bool saveBitmap(const QImage &picture, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!picture.save(&file, "BMP")) {
        file.cancelWriting();
        *error = QStringLiteral("не удалось записать рисунок");
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace kelvar::app
