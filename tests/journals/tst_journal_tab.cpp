// The journals tab offscreen against the simulated meter: reads started by
// the buttons fill the lists in the owner's order, the charts show the
// owner's bars, the gauge follows the read, and "Сохранить" writes the chart
// as a bitmap or says why it could not.
//
// With KELVAR_SCREENSHOTS=<folder> the chart pages are also saved there as
// PNG pictures after their reads.

#include "support/Control.h"
#include "support/LinkRig.h"
#include "app/tabs/JournalChart.h"
#include "app/tabs/JournalTab.h"
#include "link/Encoding.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QComboBox>
#include <QDateEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

using namespace kelvar;
using namespace kelvar::journals;
using app::JournalTab;

namespace {

struct TabRig : test::LinkRig {
    JournalOwner owner{engine, dispatcher, state};
    QWidget page;
    JournalTab tab{&page, engine, owner};
    QTabWidget *PageJournal = test::control<QTabWidget>(page, "PageJournal");
    QProgressBar *GaugeJournal = test::control<QProgressBar>(page, "GaugeJournal");
    QSpinBox *SpinYea = test::control<QSpinBox>(page, "SpinYea");
    QComboBox *ComboMonth = test::control<QComboBox>(page, "ComboMonth");
    QSpinBox *SpinYear = test::control<QSpinBox>(page, "SpinYear");
    QDateEdit *DTPProfile = test::control<QDateEdit>(page, "DTPProfile");
    QAction *N8 = test::control<QAction>(page, "N8");
    QStringList messages;
    int ends = 0;

    TabRig()
    {
        tab.setMessageHandler([this](QMessageBox::Icon, const QString &, const QString &text) { messages << text; });
        QObject::connect(&owner, &JournalOwner::finished, [this] { ++ends; });
        page.resize(792, 540);
        page.show();
    }

    // A journal page's controls, named after the journal (ListYear, ChartDay, BtnReadJournalOnOff).
    static QString named(const char *prefix, JournalKind kind)
    {
        static const char *const journal[] = {"Year", "Day", "Profile", "Setting", "OnOff"};
        return QLatin1String(prefix) + QLatin1String(journal[int(kind)]);
    }
    QTreeWidget *list(JournalKind kind) const { return test::control<QTreeWidget>(page, named("List", kind)); }
    app::JournalChart *chart(JournalKind kind) const { return test::control<app::JournalChart>(page, named("Chart", kind)); }
    QPushButton *readButton(JournalKind kind) const
    {
        return test::control<QPushButton>(page, named("BtnReadJournal", kind));
    }

    bool click(JournalKind kind, int ms = 60000)
    {
        const int before = ends;
        if (!QTest::qWaitFor([&] { return readButton(kind)->isEnabled(); }, 5000))
            return false;
        PageJournal->setCurrentIndex(int(kind));
        QTest::mouseClick(readButton(kind), Qt::LeftButton);
        return QTest::qWaitFor([&] { return ends > before; }, ms);
    }

    QList<QStringList> shownRows(JournalKind kind) const
    {
        QList<QStringList> rows;
        QTreeWidget *list = this->list(kind);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QStringList row;
            for (int c = 0; c < list->columnCount(); ++c)
                row << list->topLevelItem(i)->text(c);
            rows << row;
        }
        return rows;
    }

    void screenshot(const QString &name)
    {
        const QString dir = qEnvironmentVariable("KELVAR_SCREENSHOTS");
        if (!dir.isEmpty())
            page.grab().save(dir + "/" + name);
    }
};

QList<QStringList> padded(QList<QStringList> rows, int columns)
{
    for (QStringList &row : rows)
        while (row.size() < columns)
            row << QString();
    return rows;
}

} // namespace

class TestJournalTab : public QObject {
    Q_OBJECT
private slots:
    void readsFillListsAndCharts()
    {
        TabRig rig;
        QVERIFY(rig.start([](sim::MeterState &s) { s.baudIndex = 3; }));
        QVERIFY(rig.waitForInfo());
        QVERIFY(!rig.GaugeJournal->isVisible());
        const QDate today = link::secondsSince2000(rig.server.state().birth).date();
        const QDate month = today.addMonths(-1);
        rig.SpinYea->setValue(today.year() - 1);
        rig.ComboMonth->setCurrentIndex(month.month() - 1);
        rig.SpinYear->setValue(month.year());
        rig.DTPProfile->setDate(today.addDays(-2));

        struct Case {
            JournalKind kind;
            const char *picture;
        };
        for (const Case &c : {Case{JournalKind::Yearly, "journal-yearly.png"}, Case{JournalKind::Daily, "journal-daily.png"},
                              Case{JournalKind::Profile, "journal-profile.png"}, Case{JournalKind::PowerOn, nullptr}}) {
            QSignalSpy gauge(&rig.owner, &JournalOwner::gaugeVisibilityChanged);
            QVERIFY(rig.click(c.kind));
            QVERIFY(rig.GaugeJournal->isVisible());
            QCOMPARE(rig.GaugeJournal->value(), rig.GaugeJournal->maximum());
            QCOMPARE(rig.GaugeJournal->maximum(), int(journalRequests(c.kind, {2020, 0, QDate(2020, 1, 1)}).size()));
            const JournalTable &table = rig.owner.table(c.kind);
            QVERIFY(table.size() > 0);
            QCOMPARE(rig.shownRows(c.kind), padded(table.rows(), rig.list(c.kind)->columnCount()));
            if (c.picture) {
                app::JournalChart *chart = rig.chart(c.kind);
                QCOMPARE(chart->bars(), table.chartBars());
                QBarSet *set = chart->series()->barSets().value(0);
                QVERIFY(set);
                QCOMPARE(set->count(), int(table.chartBars().size()));
                for (int i = 0; i < set->count(); ++i)
                    QCOMPARE(set->at(i), table.chartBars().at(i).value);
                rig.screenshot(c.picture);
            }
            // The first poll response after the read hides the gauge.
            QVERIFY(QTest::qWaitFor([&] { return !rig.GaugeJournal->isVisible(); }, 5000));
        }
        // A second read of a journal replaces its rows; the other lists stay.
        const int daily = rig.list(JournalKind::Daily)->topLevelItemCount();
        rig.SpinYea->setValue(2099);
        QVERIFY(rig.click(JournalKind::Yearly));
        QCOMPARE(rig.list(JournalKind::Yearly)->topLevelItemCount(), 0);
        QVERIFY(rig.chart(JournalKind::Yearly)->bars().isEmpty());
        QCOMPARE(rig.list(JournalKind::Daily)->topLevelItemCount(), daily);

        // Disconnecting hides the gauge and disables the read buttons, rows stay.
        QVERIFY(rig.click(JournalKind::Profile));
        QVERIFY(rig.GaugeJournal->isVisible());
        rig.engine.ActionDisconnectExecute();
        QVERIFY(!rig.GaugeJournal->isVisible());
        QVERIFY(!rig.readButton(JournalKind::Profile)->isEnabled());
        QCOMPARE(rig.list(JournalKind::Profile)->topLevelItemCount(), 48);
    }

    void chartSave_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("saved as a bitmap") << true;
        QTest::newRow("a folder that is not there: message, no file") << false;
    }
    void chartSave()
    {
        QFETCH(bool, writable);
        TabRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.waitForInfo());
        rig.DTPProfile->setDate(link::secondsSince2000(rig.server.state().birth).date().addDays(-1));
        QVERIFY(rig.click(JournalKind::Profile));
        const QString path = rig.dir.filePath(writable ? "profile" : "missing/profile.bmp");
        rig.tab.setSaveFileNameSource([&] { return path; });
        rig.N8->trigger();
        if (writable) {
            QVERIFY(rig.messages.isEmpty());
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(2), QByteArray("BM"));
            file.close();
            QImage picture(path, "BMP");
            QCOMPARE(picture.size(), rig.chart(JournalKind::Profile)->size());
            // The bars are there: pixels of the bar colour.
            int barPixels = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    barPixels += picture.pixelColor(x, y) == app::JournalChart::BarColor;
            QVERIFY2(barPixels > 100, qPrintable(QString::number(barPixels)));
        } else {
            QCOMPARE(rig.messages.size(), 1);
            QVERIFY2(rig.messages.first().contains(path), qPrintable(rig.messages.first()));
            QVERIFY(!QFile::exists(path));
            QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).filter("profile").size(), 0);
        }
        // Pages without a chart save nothing.
        rig.messages.clear();
        rig.PageJournal->setCurrentIndex(int(JournalKind::Settings));
        const QString other = rig.dir.filePath("settings.bmp");
        rig.tab.setSaveFileNameSource([&] { return other; });
        rig.N8->trigger();
        QVERIFY(!QFile::exists(other));
    }

    void everyControlHasANameForScreenReaders()
    {
        TabRig rig;
        for (QWidget *w : rig.page.findChildren<QWidget *>()) {
            if (w->objectName().isEmpty())
                continue; // parts of a control (line edits of spin boxes, tab scroll buttons)
            if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QComboBox *>(w)
                || qobject_cast<QTreeWidget *>(w) || qobject_cast<QProgressBar *>(w))
                QVERIFY2(!w->accessibleName().isEmpty() || (qobject_cast<QAbstractButton *>(w)
                                                             && !static_cast<QAbstractButton *>(w)->text().isEmpty()),
                         qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(TestJournalTab)
#include "tst_journal_tab.moc"
