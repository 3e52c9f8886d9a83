#include "JournalTab.h"

#include "app/tabs/JournalChart.h"
#include "app/tabs/JournalOutput.h"
#include "common/TextFormat.h"
#include "link/ExchangeEngine.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvar::app {

using journals::JournalKind;

namespace {

constexpr int PanelHeight = 41;
constexpr int ListHeight = 224;

struct PageLook {
    const char *page;
    QString caption;
    const char *list;
    const char *read;
    const char *exportName;
    const char *print;
    const char *chart;
};

PageLook lookOf(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Yearly:
        return {"TabJournalYear", QStringLiteral("Годовой"), "ListYear", "BtnReadJournalYear",
                "BtnExportJournalYear", "BtnPrintJournalYear", "ChartYear"};
    case JournalKind::Daily:
        return {"TabJournalDay", QStringLiteral("Суточный"), "ListDay", "BtnReadJournalDay",
                "BtnExportJournalDay", "BtnPrintJournalDay", "ChartDay"};
    case JournalKind::Profile:
        return {"TabProfile", QStringLiteral("Профиль нагрузки"), "ListProfile", "BtnReadJournalProfile",
                "BtnExportJournalProfile", "BtnPrintJournalProfile", "ChartProfile"};
    case JournalKind::Settings:
        return {"TabSetting", QStringLiteral("Установок"), "ListSetting", "BtnReadJournalSetting",
                "BtnExportJournalSetting", "BtnPrintJournalSetting", nullptr};
    case JournalKind::PowerOn:
        break;
    }
    return {"TabOnOff", QStringLiteral("Включений"), "ListOnOff", "BtnReadJournalOnOff", "BtnExportJournalOnOff",
            "BtnPrintJournalOnOff", nullptr};
}

QPushButton *panelButton(QWidget *panel, const char *name, const QString &caption, const QString &journal, int x)
{
    auto *button = new QPushButton(caption, panel);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, 8, 173, 25);
    button->setAccessibleName(caption + QStringLiteral(" (") + journal + QLatin1Char(')'));
    return button;
}

QSpinBox *yearSpin(QWidget *panel, const char *name, int x)
{
    auto *spin = new QSpinBox(panel);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(2000, 2099);
    spin->setValue(QDate::currentDate().year());
    spin->setGeometry(x, 8, 57, 25);
    spin->setAccessibleName(QStringLiteral("Год"));
    return spin;
}

// The progress gauge: black fill on white with a single border and the
// percentage in the middle, white where it lies over the fill.
class Gauge : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect frame = rect().adjusted(0, 0, -1, -1);
        const QRect inner = rect().adjusted(1, 1, -1, -1);
        const int span = maximum() - minimum();
        const int filled = span > 0 ? int(qint64(inner.width()) * (value() - minimum()) / span) : 0;
        const QRect fill(inner.left(), inner.top(), filled, inner.height());
        const QString percent = QStringLiteral("%1%").arg(span > 0 ? (value() - minimum()) * 100 / span : 0);
        p.fillRect(inner, Qt::white);
        p.fillRect(fill, Qt::black);
        p.setPen(Qt::black);
        p.drawRect(frame);
        p.setClipRect(inner.adjusted(filled, 0, 0, 0));
        p.drawText(inner, Qt::AlignCenter, percent);
        p.setClipRect(fill);
        p.setPen(Qt::white);
        p.drawText(inner, Qt::AlignCenter, percent);
    }
};

// A long date without the day of the week, so the picker shows the whole date.
QString profileDateFormat()
{
    QString format = text::locale().dateFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("d{4}[,\\s]*")));
    return format.trimmed();
}

} // namespace

JournalTab::JournalTab(QWidget *page, link::ExchangeEngine &engine, journals::JournalOwner &owner)
    : QObject(page)
    , m_owner(owner)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PageJournal = new QTabWidget(page);
    PageJournal->setObjectName(QStringLiteral("PageJournal"));
    PageJournal->setDocumentMode(true); // flat page buttons
    PageJournal->tabBar()->setExpanding(false);

    PopupChart = new QMenu(page);
    PopupChart->setObjectName(QStringLiteral("PopupChart"));
    N8 = PopupChart->addAction(QStringLiteral("Сохранить"));
    N8->setObjectName(QStringLiteral("N8"));
    connect(N8, &QAction::triggered, this, &JournalTab::N8Click);

    for (JournalKind kind : journals::allJournalKinds())
        m_pages[index(kind)] = buildPage(kind);
    layout->addWidget(PageJournal, 1);

    GaugeJournal = new Gauge(page);
    GaugeJournal->setObjectName(QStringLiteral("GaugeJournal"));
    GaugeJournal->setAccessibleName(QStringLiteral("Ход чтения журнала"));
    GaugeJournal->setFixedHeight(17);
    GaugeJournal->setRange(0, 100);
    GaugeJournal->setValue(0);
    GaugeJournal->hide();
    layout->addWidget(GaugeJournal);

    connect(m_pages[index(JournalKind::Yearly)].readButton, &QPushButton::clicked, this,
            &JournalTab::BtnReadJournalYearClick);
    connect(m_pages[index(JournalKind::Daily)].readButton, &QPushButton::clicked, this,
            &JournalTab::BtnReadJournalDayClick);
    connect(m_pages[index(JournalKind::Profile)].readButton, &QPushButton::clicked, this,
            &JournalTab::BtnReadJournalProfileClick);
    connect(m_pages[index(JournalKind::Settings)].readButton, &QPushButton::clicked, this,
            &JournalTab::BtnReadJournalSettingClick);
    connect(m_pages[index(JournalKind::PowerOn)].readButton, &QPushButton::clicked, this,
            &JournalTab::BtnReadJournalOnOffClick);

    connect(&owner, &journals::JournalOwner::readStarted, this, [this](JournalKind kind, int maximum) {
        m_pages[index(kind)].list->clear();
        GaugeJournal->setRange(0, maximum);
        GaugeJournal->setValue(0);
    });
    connect(&owner, &journals::JournalOwner::rowReady, this, &JournalTab::addRow);
    connect(&owner, &journals::JournalOwner::progress, this, [this](JournalKind, int value, int maximum) {
        // A progress bar repaints at once on every new value; here it is
        // painted with the next frame instead, off the response's handling.
        GaugeJournal->setUpdatesEnabled(false);
        GaugeJournal->setRange(0, maximum);
        GaugeJournal->setValue(value);
        GaugeJournal->setUpdatesEnabled(true);
    });
    connect(&owner, &journals::JournalOwner::chartChanged, this,
            [this](JournalKind kind, const QList<journals::ChartBar> &bars) {
                if (JournalChart *c = m_pages[index(kind)].chart)
                    c->setBars(bars);
            });
    connect(&owner, &journals::JournalOwner::finished, this, &JournalTab::fitColumns);
    connect(&owner, &journals::JournalOwner::gaugeVisibilityChanged, GaugeJournal, &QWidget::setVisible);
    connect(&engine, &link::ExchangeEngine::EnableControls, this, &JournalTab::setControlsEnabled);
    connect(&engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (!connected)
            GaugeJournal->hide();
    });
    setControlsEnabled(false);
}

JournalTab::Page JournalTab::buildPage(JournalKind kind)
{
    const PageLook look = lookOf(kind);
    Page p;
    p.widget = new QWidget(PageJournal);
    p.widget->setObjectName(QLatin1String(look.page));
    PageJournal->addTab(p.widget, look.caption);
    auto *layout = new QVBoxLayout(p.widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *panel = new QWidget(p.widget);
    panel->setFixedHeight(PanelHeight);
    panel->setMinimumWidth(760);
    p.readButton = panelButton(panel, look.read, QStringLiteral("Прочитать"), look.caption, 20);
    p.exportButton = panelButton(panel, look.exportName, QStringLiteral("Экспорт"), look.caption, 220);
    p.printButton = panelButton(panel, look.print, QStringLiteral("Печать"), look.caption, 420);
    if (kind == JournalKind::Yearly) {
        SpinYea = yearSpin(panel, "SpinYea", 696);
    } else if (kind == JournalKind::Daily) {
        ComboMonth = new QComboBox(panel);
        ComboMonth->setObjectName(QStringLiteral("ComboMonth"));
        for (const char *month : {"январь", "февраль", "март", "апрель", "май", "июнь", "июль", "август",
                                  "сентябрь", "октябрь", "ноябрь", "декабрь"})
            ComboMonth->addItem(QString::fromUtf8(month));
        ComboMonth->setCurrentIndex(QDate::currentDate().month() - 1);
        ComboMonth->setGeometry(608, 8, 81, 25);
        ComboMonth->setAccessibleName(QStringLiteral("Месяц"));
        SpinYear = yearSpin(panel, "SpinYear", 696);
    } else if (kind == JournalKind::Profile) {
        DTPProfile = new QDateEdit(QDate::currentDate(), panel);
        DTPProfile->setObjectName(QStringLiteral("DTPProfile"));
        DTPProfile->setDisplayFormat(profileDateFormat());
        DTPProfile->setCalendarPopup(true);
        DTPProfile->setGeometry(608, 8, 145, 25);
        DTPProfile->setAccessibleName(QStringLiteral("День профиля нагрузки"));
    }
    layout->addWidget(panel);

    p.list = new QTreeWidget(p.widget);
    p.list->setObjectName(QLatin1String(look.list));
    p.list->setAccessibleName(look.caption);
    p.list->setRootIsDecorated(false);
    p.list->setUniformRowHeights(true);
    p.list->setSelectionBehavior(QAbstractItemView::SelectRows);
    p.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    p.list->setHeaderLabels(journals::journalCaptions(kind));
    const QList<journals::JournalColumn> &columns = journals::journalColumns(kind);
    for (int c = 0; c < columns.size(); ++c)
        p.list->setColumnWidth(c, columns.at(c).width);

    if (!journals::hasChart(kind)) {
        layout->addWidget(p.list, 1);
        return p;
    }
    p.chart = new JournalChart(kind, p.widget);
    p.chart->setObjectName(QLatin1String(look.chart));
    p.chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(p.chart, &QWidget::customContextMenuRequested, this,
            [this, c = p.chart](const QPoint &at) { PopupChart->popup(c->mapToGlobal(at)); });
    p.splitter = new QSplitter(Qt::Vertical, p.widget);
    p.splitter->setHandleWidth(3);
    p.splitter->setChildrenCollapsible(false);
    p.splitter->addWidget(p.list);
    p.splitter->addWidget(p.chart);
    p.splitter->setSizes({ListHeight, 300});
    p.splitter->setStretchFactor(1, 1);
    layout->addWidget(p.splitter, 1);
    return p;
}

void JournalTab::setControlsEnabled(bool enabled)
{
    for (const Page &p : m_pages)
        p.readButton->setEnabled(enabled);
}

void JournalTab::fitColumns(JournalKind kind)
{
    // The columns keep their widths unless the texts need more room.
    QTreeWidget *l = m_pages[index(kind)].list;
    const QList<journals::JournalColumn> &columns = journals::journalColumns(kind);
    for (int c = 0; c < columns.size(); ++c) {
        l->resizeColumnToContents(c);
        l->setColumnWidth(c, std::max(columns.at(c).width, l->columnWidth(c) + 6));
    }
}

void JournalTab::addRow(JournalKind kind, int at, const QStringList &row)
{
    m_pages[index(kind)].list->insertTopLevelItem(at, new QTreeWidgetItem(row));
}

void JournalTab::bindOutput(JournalOutput &output)
{
    for (const JournalKind kind : journals::allJournalKinds()) {
        const Page &page = m_pages[index(kind)];
        const journals::JournalTable &table = m_owner.table(kind);
        output.addJournal(kind, page.exportButton, page.printButton, JournalOutput::listGrid(page.list),
                          [&table] { return qint64(table.meterNumber()); });
    }
}

void JournalTab::BtnReadJournalYearClick()
{
    m_owner.startRead(JournalKind::Yearly, {SpinYea->value(), 0, {}});
}

void JournalTab::BtnReadJournalDayClick()
{
    m_owner.startRead(JournalKind::Daily, {SpinYear->value(), ComboMonth->currentIndex(), {}});
}

void JournalTab::BtnReadJournalProfileClick()
{
    m_owner.startRead(JournalKind::Profile, {0, 0, DTPProfile->date()});
}

void JournalTab::BtnReadJournalSettingClick()
{
    m_owner.startRead(JournalKind::Settings, {});
}

void JournalTab::BtnReadJournalOnOffClick()
{
    m_owner.startRead(JournalKind::PowerOn, {});
}

void JournalTab::N8Click()
{
    const QString path = m_saveFileName ? m_saveFileName()
                                        : QFileDialog::getSaveFileName(PageJournal, QString(), QString(),
                                                                       QStringLiteral("Bitmaps (*.bmp)"));
    if (path.isEmpty())
        return;
    const int page = PageJournal->currentIndex();
    if (page < 0 || page > 2)
        return;
    JournalChart *c = m_pages[page].chart;
    QString error;
    if (!saveBitmap(c->picture(), path, &error))
        showTabMessage(m_message, PageJournal, QMessageBox::Critical, QStringLiteral("Ошибка"),
                       QStringLiteral("Не удалось сохранить рисунок в файл %1: %2").arg(path, error));
}

} // namespace kelvar::app
