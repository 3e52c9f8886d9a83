// The journal pages' export and print buttons, and printouts read back from
// PDF files with poppler's pdftotext and pdfinfo.

#include "app/tabs/GridPrinter.h"
#include "app/tabs/JournalOutput.h"
#include "TestUtil.h"

#include <QApplication>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace kelvar;
using namespace kelvar::exporting;
using kelvar::app::JournalOutput;

Q_DECLARE_METATYPE(kelvar::exporting::TextGrid)
Q_DECLARE_METATYPE(kelvar::exporting::ExportFormat)

namespace {

const QDateTime PrintTime(QDate(2026, 12, 9), QTime(14, 5, 9));

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfText(const QString &pdf, int page = 0)
{
    QStringList args{"-layout"};
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return run("pdftotext", args << pdf << "-");
}

QString pdfInfo(const QString &pdf, const QString &field)
{
    for (const QString &line : run("pdfinfo", {pdf}).split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

void setUpPdf(QPrinter &printer, const QString &path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
}

TextGrid events(int rows, const QStringList &captions = {"Время", "Событие"})
{
    QList<QStringList> list;
    for (int i = 0; i < rows; ++i)
        list.append({QString("%1.01.2001 08:00:00").arg(i % 28 + 1, 2, 10, QChar('0')), QString("Событие%1").arg(i + 1)});
    return makeGrid(captions, list);
}

// The x of the right end of a word in the PDF, as a share of the page width.
double rightEndOf(const QString &pdf, const QString &word)
{
    const QString html = run("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    const QRegularExpression page(R"re(<page width="([\d.]+)")re");
    const QRegularExpression box(QString(R"re(<word xMin="[\d.]+" yMin="[\d.]+" xMax="([\d.]+)" yMax="[\d.]+">%1</word>)re")
                                     .arg(QRegularExpression::escape(word)));
    const auto w = page.match(html), b = box.match(html);
    return w.hasMatch() && b.hasMatch() ? b.captured(1).toDouble() / w.captured(1).toDouble() : -1;
}

QTreeWidget *list(QWidget *parent, const QStringList &captions, const QList<QStringList> &rows)
{
    auto *tree = new QTreeWidget(parent);
    tree->setHeaderLabels(captions);
    for (const QStringList &row : rows)
        tree->addTopLevelItem(new QTreeWidgetItem(row));
    return tree;
}

} // namespace

class TestJournalOutput : public QObject {
    Q_OBJECT
private slots:
    // Printouts as one PDF document: the date line, the title, the header,
    // every row; long lists break into pages that start with the page
    // number and repeat the title and the header; narrow tables are widened,
    // wide ones turn the page.
    void printToPdf_data()
    {
        QTest::addColumn<TextGrid>("grid");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("empty list: date line, title, header") << events(0) << 1 << false;
        QTest::newRow("a page of rows") << events(20) << 1 << false;
        QTest::newRow("a long list breaks into pages") << events(150) << 3 << false;
        const QString wide = QString(90, QChar('W'));
        QTest::newRow("a wide table turns the page") << events(3, {"Время", wide}) << 1 << true;
    }
    void printToPdf()
    {
        QFETCH(TextGrid, grid);
        QFETCH(int, pages);
        QFETCH(bool, landscape);
        QTemporaryDir dir;
        const QString pdf = dir.filePath("print.pdf");
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, pdf);
        QCOMPARE(app::PrintGrid(printer, grid, "Счетчик № 4711, Журнал включений", PrintTime), pages);

        QCOMPARE(pdfInfo(pdf, "Pages"), QString::number(pages));
        const QString size = pdfInfo(pdf, "Page size");
        const QStringList sides = size.split(' '); // "595.276 x 841.89 pts (A4)"
        QVERIFY2(sides.size() > 2 && (sides[0].toDouble() > sides[2].toDouble()) == landscape, qPrintable(size));
        const QString first = pdfText(pdf, 1);
        QVERIFY2(first.contains("9 декабря 2026 г. 14:05:09"), qPrintable(first.left(300)));
        QVERIFY(first.contains("Счетчик № 4711, Журнал включений"));
        if (!landscape) // the wide table runs off both edges of the turned page
            QVERIFY(first.contains(grid.text(0, 0)));
        QVERIFY(!first.contains("- 1 -"));
        const QString all = pdfText(pdf);
        for (int r = 1; r < grid.rowCount() && !landscape; ++r)
            QVERIFY2(all.contains(grid.text(r, 1)), qPrintable(grid.text(r, 1)));
        for (int p = 2; p <= pages; ++p) {
            const QStringList lines = pdfText(pdf, p).split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.value(0).remove(QChar(' ')), QString("-%1-").arg(p)); // pdftotext drops the blanks
            QCOMPARE(lines.value(1).trimmed(), QString("Счетчик № 4711, Журнал включений"));
            QVERIFY(lines.value(2).contains("Время"));
        }
    }

    // Two short columns take four fifths of the page and more, not a strip
    // in its middle.
    void narrowTableWidened()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("narrow.pdf");
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, pdf);
        app::PrintGrid(printer, makeGrid({"A", "B"}, {{"1", "Последняя"}}), "T", PrintTime);
        QVERIFY2(rightEndOf(pdf, "Последняя") > 0.8, qPrintable(QString::number(rightEndOf(pdf, "Последняя"))));
    }

    void exportButton()
    {
        QWidget page;
        QTreeWidget *days = list(&page, {"Дата", "1 тариф"}, {{"01.02.2011", "10,5"}});
        auto *exportButton = new QPushButton("Экспорт", &page);
        auto *printButton = new QPushButton("Печать", &page);
        JournalOutput output(&page);
        output.addJournal(JournalKind::Daily, exportButton, printButton, JournalOutput::listGrid(days),
                          [] { return 123456; });
        QStringList messages;
        QList<QUrl> opened;
        output.setMessageHandler([&](QMessageBox::Icon, const QString &, const QString &text) { messages << text; });
        output.setUrlOpener([&](const QUrl &url) { opened << url; return true; });
        QTemporaryDir dir;

        // The list is taken at the click: a row read in while the dialog is
        // open is not exported.
        output.setFileChooser([&] {
            days->addTopLevelItem(new QTreeWidgetItem(QStringList{"02.02.2011", "11"}));
            return JournalOutput::SaveChoice{dir.filePath("day.csv"), ExportFormat::Csv};
        });
        exportButton->click();
        QCOMPARE(messages, QStringList{});
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(dir.filePath("day.csv"))});
        QCOMPARE(test::readFile(dir.filePath("day.csv")),
                 QByteArray("\xEF\xBB\xBF\"Счетчик № 123456, Суточный журнал \";\"\"\r\n"
                            "\"Дата\";\"1 тариф\"\r\n\"01.02.2011\";10,5\r\n"));

        // Cancel writes nothing.
        output.setFileChooser([] { return JournalOutput::SaveChoice{}; });
        exportButton->click();
        QCOMPARE(opened.size(), 1);

        // A folder that cannot take the file: the warning, nothing opened.
        output.setFileChooser([&] { return JournalOutput::SaveChoice{dir.filePath("no/day.xls"), ExportFormat::Xls}; });
        exportButton->click();
        QCOMPARE(messages, QStringList{"Файл не может быть создан в указанной директории, или файл с таким именем "
                                       "сейчас открыт!"});
        QCOMPARE(opened.size(), 1);

        // Values the workbook cannot hold are counted to the operator after the save.
        messages.clear();
        days->topLevelItem(0)->setText(1, QString(40000, 'x'));
        output.setFileChooser([&] { return JournalOutput::SaveChoice{dir.filePath("day.xls"), ExportFormat::Xls}; });
        exportButton->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(": 1."), qPrintable(messages[0]));
        QCOMPARE(opened.size(), 2);
    }

    void printButton()
    {
        QWidget page;
        QTreeWidget *events = list(&page, {"Время", "Событие"}, {{"01.01.2001 08:00:00", "Счетчик выключен"}});
        auto *printButton = new QPushButton("Печать", &page);
        JournalOutput output(&page);
        output.addJournal(JournalKind::PowerOn, nullptr, printButton, JournalOutput::listGrid(events),
                          [] { return 4711; });
        output.setClock([] { return PrintTime; });
        QTemporaryDir dir;
        // Without a printer the button stays enabled and saves a PDF, whole
        // or not at all (an unwritable folder leaves nothing).
        QVERIFY(printButton->isEnabled());
        output.setPrinterAvailable(false);
        QVERIFY(printButton->isEnabled());
        QString chosen = dir.filePath("missing/x.pdf");
        output.setPdfChooser([&](const QString &) { return chosen; });
        int warnings = 0;
        output.setMessageHandler([&](QMessageBox::Icon, const QString &, const QString &) { ++warnings; });
        printButton->click();
        QCOMPARE(warnings, 1);
        chosen = dir.filePath("saved");
        printButton->click();
        QVERIFY2(pdfText(chosen + ".pdf").contains("Счетчик № 4711, Журнал включений"), qPrintable(chosen));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"saved.pdf"});
        output.setPrinterAvailable(true);

        const QString pdf = dir.filePath("onoff.pdf");
        setUpPdf(output.printer(), pdf);
        output.setPrintDialog([](QPrinter &) { return false; });
        printButton->click();
        QVERIFY(!QFile::exists(pdf));

        // The list is taken after the dialog: what it shows then is printed.
        output.setPrintDialog([&](QPrinter &) {
            events->addTopLevelItem(new QTreeWidgetItem(QStringList{"02.01.2001", "Счетчик включен"}));
            return true;
        });
        printButton->click();
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("Счетчик № 4711, Журнал включений"), qPrintable(text));
        QVERIFY(text.contains("Счетчик выключен"));
        QVERIFY(text.contains("Счетчик включен"));

        // The preview draws the same pages on the same printer.
        int previewPages = 0;
        output.setPreview([&](QPrinter &printer, std::function<void(QPrinter &)> paint) {
            QCOMPARE(&printer, &output.printer());
            paint(printer);
            previewPages = pdfInfo(pdf, "Pages").toInt();
        });
        const QList<QAction *> actions = printButton->actions();
        QCOMPARE(actions.size(), 1);
        actions[0]->trigger();
        QCOMPARE(previewPages, 1);
    }

    void saveChoice_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ExportFormat>("filter");
        QTest::addColumn<QString>("resolvedPath");
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("no extension: the filter's") << "/d/a" << ExportFormat::Xlsx << "/d/a.xlsx" << ExportFormat::Xlsx;
        QTest::newRow("an export extension wins") << "/d/a.csv" << ExportFormat::Xls << "/d/a.csv" << ExportFormat::Csv;
        QTest::newRow("upper-case extension") << "/d/a.XLS" << ExportFormat::Csv << "/d/a.XLS" << ExportFormat::Xls;
        QTest::newRow("another extension gets the filter's")
            << "/d/a.2026" << ExportFormat::Xls << "/d/a.2026.xls" << ExportFormat::Xls;
    }
    void saveChoice()
    {
        QFETCH(QString, path);
        QFETCH(ExportFormat, filter);
        QFETCH(QString, resolvedPath);
        QFETCH(ExportFormat, format);
        const JournalOutput::SaveChoice choice = JournalOutput::resolveChoice(path, filter);
        QCOMPARE(choice.path, resolvedPath);
        QCOMPARE(choice.format, format);
    }
};

QTEST_MAIN(TestJournalOutput)
#include "tst_journaloutput.moc"
