// The export and print buttons as the window wires them to the journal pages.

#include "support/FormRig.h"
#include "app/tabs/GridPrinter.h"
#include "app/tabs/JournalOutput.h"
#include "xls/Workbook.h"

#include <QPushButton>

using namespace kelvar;

class TestJournalWindow : public QObject {
    Q_OBJECT
private slots:
    // A list never read exports with its initial meter number in the title,
    // and the captions of its page; every print button follows the printers.
    void buttonsOfEveryPage()
    {
        test::FormRig rig;
        app::TFormMain &form = rig.open();
        QTemporaryDir dir;
        QString chosen;
        QList<QUrl> opened;
        test::part<app::JournalOutput>(form).setFileChooser([&] { return app::JournalOutput::SaveChoice{chosen, exporting::ExportFormat::Xls}; });
        test::part<app::JournalOutput>(form).setUrlOpener([&](const QUrl &url) { opened << url; return true; });

        const struct { const char *page; const char *title; } pages[] = {
            {"Year", "Счетчик № 1, Годовой журнал "}, {"Day", "Счетчик № 2, Суточный журнал "},
            {"Profile", "Счетчик № 3, Профиль нагрузки "}, {"Setting", "Счетчик № 0, Журнал установок"},
            {"OnOff", "Счетчик № 0, Журнал включений"}};
        for (const auto &p : pages) {
            chosen = dir.filePath(QString("%1.xls").arg(p.page));
            auto *exportButton = rig.find<QPushButton>(qPrintable(QString("BtnExportJournal%1").arg(p.page)));
            auto *printButton = rig.find<QPushButton>(qPrintable(QString("BtnPrintJournal%1").arg(p.page)));
            QVERIFY(exportButton && printButton);
            QVERIFY(printButton->isEnabled()); // printer or PDF
            exportButton->click();
            xls::Workbook book;
            QVERIFY2(book.open(chosen), qPrintable(book.errorString()));
            const auto &cells = book.book().sheets.front().cells;
            QCOMPARE(std::get<QString>(cells.at(xls::Sheet::cellKey(0, 0))), QString(p.title));
            QVERIFY(cells.contains(xls::Sheet::cellKey(1, 1)));  // the captions' row
            QVERIFY(!cells.contains(xls::Sheet::cellKey(2, 0))); // and no rows yet
        }
        QCOMPARE(opened.size(), 5);
        QCOMPARE(rig.messages.size(), 0);
    }
};

KELVAR_WINDOW_TEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
