#pragma once
// The journals tab ("Журналы"): five pages, one per journal, each with its
// read, export and print buttons, its inputs and its list; the yearly, daily
// and profile pages add a bar chart below a splitter. The progress gauge
// lies below the pages. Reading, decoding, ordering and the chart bars are
// the journal owner's; the tab shows what the owner reports. The tab hands
// its export and print buttons to the export and printing code.

#include "app/tabs/TabMessages.h"
#include "journals/JournalOwner.h"

#include <QObject>

#include <array>
#include <functional>

class QComboBox;
class QDateEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class QMenu;
class QAction;

namespace kelvar::app {

class JournalChart;
class JournalOutput;

class JournalTab : public QObject
{
    Q_OBJECT
public:
    JournalTab(QWidget *page, link::ExchangeEngine &engine, journals::JournalOwner &owner);

    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    // Asks for the picture file of a chart save; empty: cancelled. By
    // default the save dialog SPD.
    void setSaveFileNameSource(std::function<QString()> source) { m_saveFileName = std::move(source); }

    // Hands each page's export and print buttons, its list and the meter
    // number the list was read from to the export and printing code.
    void bindOutput(JournalOutput &output);

    void BtnReadJournalYearClick();
    void BtnReadJournalDayClick();
    void BtnReadJournalProfileClick();
    void BtnReadJournalSettingClick();
    void BtnReadJournalOnOffClick();
    // "Сохранить" of PopupChart: the active page's chart as a bitmap.
    void N8Click();

private:
    struct Page {
        QWidget *widget = nullptr;
        QPushButton *readButton = nullptr;
        QPushButton *exportButton = nullptr;
        QPushButton *printButton = nullptr;
        QTreeWidget *list = nullptr;
        JournalChart *chart = nullptr;
        QSplitter *splitter = nullptr;
    };
    static int index(journals::JournalKind kind) { return int(kind); }
    Page buildPage(journals::JournalKind kind);
    void setControlsEnabled(bool enabled);
    void addRow(journals::JournalKind kind, int index, const QStringList &row);
    void fitColumns(journals::JournalKind kind);

    QTabWidget *PageJournal;
    QProgressBar *GaugeJournal;
    QSpinBox *SpinYea;
    QComboBox *ComboMonth;
    QSpinBox *SpinYear;
    QDateEdit *DTPProfile;
    QMenu *PopupChart;
    QAction *N8;
    journals::JournalOwner &m_owner;
    std::array<Page, journals::JournalKindCount> m_pages;
    MessageHandler m_message;
    std::function<QString()> m_saveFileName;
};

} // namespace kelvar::app
