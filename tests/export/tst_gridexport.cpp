// The text grid, the number-or-text rule and the export files, read back by
// the workbook engine's own reader (the independent readers run in
// check_exports.py).

#include "export/GridExport.h"
#include "xls/Workbook.h"
#include "TestUtil.h"

#include <QStandardItemModel>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace kelvar;
using namespace kelvar::exporting;
using kelvar::test::readFile;
using kelvar::test::writeFile;

namespace {

QStringList folderListing(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A daily list of n rows: date, three readings.
TextGrid dailyGrid(int n)
{
    QList<QStringList> rows;
    for (int i = 0; i < n; ++i)
        rows.append({QDate(2011, 1, 1).addDays(i).toString("dd.MM.yyyy"), QString::number(i) + ",25", "0", "7"});
    return makeGrid({"Дата", "1 тариф", "2 тариф", "3 тариф"}, rows);
}

// Sheet cells of the first worksheet, 1-based, as the engine reads the file.
QVariant cellAt(const xls::Workbook &book, int row, int column)
{
    const auto &cells = book.book().sheets.front().cells;
    const auto it = cells.find(xls::Sheet::cellKey(row - 1, column - 1));
    if (it == cells.end())
        return {};
    if (const double *number = std::get_if<double>(&it->second))
        return *number;
    return std::get<QString>(it->second);
}

#ifdef Q_OS_UNIX
// Runs work while no file may grow beyond limit bytes, as on a full disk.
template <typename Work>
auto withFileSizeLimit(rlim_t limit, Work work)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    auto result = work();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}
#endif

} // namespace

Q_DECLARE_METATYPE(kelvar::exporting::ExportFormat)

class TestGridExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(QLocale().decimalPoint(), QStringLiteral(",")); }

    void numberOrText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("zero is the number 0") << "0" << true << 0.0;
        QTest::newRow("locale decimal comma") << "12,5" << true << 12.5;
        QTest::newRow("negative") << "-3" << true << -3.0;
        QTest::newRow("blanks around") << " 7 " << true << 7.0;
        QTest::newRow("exponent") << "1,5E3" << true << 1500.0;
        QTest::newRow("point is no separator here") << "12.5" << false << 0.0;
        QTest::newRow("digit groups stay text") << QString("1\u00A0234") << false << 0.0;
        QTest::newRow("short date") << "09.12.2026" << false << 0.0;
        QTest::newRow("long time") << "14:05:09" << false << 0.0;
        QTest::newRow("duration with days") << "1д.01:01:01" << false << 0.0;
        QTest::newRow("empty text") << "" << false << 0.0;
        QTest::newRow("infinity cannot be a cell") << "inf" << false << 0.0;
        QTest::newRow("not a number cannot be a cell") << "nan" << false << 0.0;
        QTest::newRow("event text") << "Счетчик включен" << false << 0.0;
    }
    void numberOrText()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const std::optional<double> number = cellNumber(text);
        QCOMPARE(number.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*number, value);
    }

    void gridOfRows()
    {
        // Rows shorter than the captions are padded, longer ones cut.
        const TextGrid grid = makeGrid({"a", "b", "c"}, {{"1"}, {"1", "2", "3", "4"}});
        QCOMPARE(grid.columnCount, 3);
        QCOMPARE(grid.rows, (QList<QStringList>{{"a", "b", "c"}, {"1", "", ""}, {"1", "2", "3"}}));

        QStandardItemModel model(2, 2);
        model.setHorizontalHeaderLabels({"Время", "Событие"});
        model.setItem(0, 0, new QStandardItem("01.01.2000"));
        model.setItem(1, 0, new QStandardItem("02.01.2000"));
        model.setItem(1, 1, new QStandardItem("Счетчик выключен"));
        QCOMPARE(ListViewToGrid(model).rows, (QList<QStringList>{
                                                  {"Время", "Событие"},
                                                  {"01.01.2000", ""},
                                                  {"02.01.2000", "Счетчик выключен"}}));
    }

    void workingCopy_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("copy");
        QTest::newRow("empty folder") << QStringList{} << "journal.xls" << "1new.xls";
        QTest::newRow("1new.xls taken") << QStringList{"1new.xls"} << "journal.xls" << "2new.xls";
        QTest::newRow("target is the first free name") << QStringList{} << "1new.xls" << "2new.xls";
        QTest::newRow("target is the second free name") << QStringList{"1new.xls"} << "2new.xls" << "3new.xls";
        QTest::newRow("an existing target is no obstacle") << QStringList{"journal.xls"} << "journal.xls"
                                                           << "1new.xls";
    }
    void workingCopy()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, target);
        QFETCH(QString, copy);
        QTemporaryDir dir;
        for (const QString &name : existing)
            QVERIFY(writeFile(dir.filePath(name), "x"));
        QCOMPARE(workingCopyPath(dir.filePath(target)), dir.filePath(copy));
    }

    // The export's sheet layout, read back by the engine: title row, caption
    // row, numbers as numbers and other texts unchanged.
    void xlsCells()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("day.xls");
        const ExportResult result = exportGrid(dailyGrid(3), "Счетчик № 123456, Суточный журнал ", path,
                                               ExportFormat::Xls);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.skippedCells, 0);
        xls::Workbook book;
        QVERIFY2(book.open(path), qPrintable(book.errorString()));
        QCOMPARE(cellAt(book, 1, 1), QVariant("Счетчик № 123456, Суточный журнал "));
        QCOMPARE(cellAt(book, 1, 4), QVariant(QString()));
        QCOMPARE(cellAt(book, 2, 3), QVariant("2 тариф"));
        QCOMPARE(cellAt(book, 5, 1), QVariant("03.01.2011"));
        QCOMPARE(cellAt(book, 5, 2), QVariant(2.25));
        QCOMPARE(cellAt(book, 5, 3), QVariant(0.0));
        QCOMPARE(cellAt(book, 6, 1), QVariant());
        QCOMPARE(book.book().sheets.front().cells.size(), size_t(4 * 5));
        // Nothing but the export is left in the folder.
        QCOMPARE(folderListing(dir.path()), QStringList{"day.xls"});
    }

    // Saving as the name the working copy would take keeps the export.
    void targetNamedLikeTheWorkingCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("1new.xls");
        QVERIFY(exportGrid(dailyGrid(2), "t", path, ExportFormat::Xls).ok);
        QCOMPARE(folderListing(dir.path()), QStringList{"1new.xls"});
        xls::Workbook book;
        QVERIFY2(book.open(path), qPrintable(book.errorString()));
        QCOMPARE(cellAt(book, 4, 2), QVariant(1.25));
    }

    void existingWorkingCopyNameUntouched()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("1new.xls"), "the operator's own file"));
        QVERIFY(exportGrid(dailyGrid(2), "t", dir.filePath("j.xls"), ExportFormat::Xls).ok);
        QCOMPARE(readFile(dir.filePath("1new.xls")), QByteArray("the operator's own file"));
        QCOMPARE(folderListing(dir.path()), (QStringList{"1new.xls", "j.xls"}));
    }

    // Texts a format cannot hold are counted, the rest is written.
    void skippedCells_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<int>("skipped");
        QTest::newRow("xls: too long a text and rows past 65536") << ExportFormat::Xls << 1 + 2 * 4;
        QTest::newRow("xlsx: too long a text") << ExportFormat::Xlsx << 1;
        QTest::newRow("csv holds everything") << ExportFormat::Csv << 0;
    }
    void skippedCells()
    {
        QFETCH(ExportFormat, format);
        QFETCH(int, skipped);
        TextGrid grid = dailyGrid(65536);
        grid.rows[5][0] = QString(40000, QLatin1Char('x'));
        QTemporaryDir dir;
        const ExportResult result = exportGrid(grid, "t", dir.filePath("big.out"), format);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.skippedCells, skipped);
    }

    // A failed export leaves an earlier file at the chosen path as it was
    // and no working copy or temporary file behind.
    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << ExportFormat::Xls << "j.xls";
        QTest::newRow("xlsx") << ExportFormat::Xlsx << "j.xlsx";
        QTest::newRow("csv") << ExportFormat::Csv << "j.csv";
    }
    void failedSaveKeepsTheOldFile()
    {
#ifdef Q_OS_UNIX
        QFETCH(ExportFormat, format);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(writeFile(path, "earlier export"));
        // Room for the template's working copy, not for 3000 rows.
        const ExportResult result =
            withFileSizeLimit(16 * 1024, [&] { return exportGrid(dailyGrid(3000), "t", path, format); });
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(readFile(path), QByteArray("earlier export"));
        QCOMPARE(folderListing(dir.path()), QStringList{name});
#else
        QSKIP("needs a file size limit");
#endif
    }

    void unwritableFolder_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("xls") << ExportFormat::Xls;
        QTest::newRow("xlsx") << ExportFormat::Xlsx;
        QTest::newRow("csv") << ExportFormat::Csv;
    }
    void unwritableFolder()
    {
        QFETCH(ExportFormat, format);
        QTemporaryDir dir;
        QVERIFY(!exportGrid(dailyGrid(1), "t", dir.filePath("missing/j.xls"), format).ok);
#ifdef Q_OS_UNIX
        if (geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        QVERIFY(writeFile(dir.filePath("j.xls"), "earlier"));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const ExportResult result = exportGrid(dailyGrid(1), "t", dir.filePath("j.xls"), format);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!result.ok);
        QCOMPARE(folderListing(dir.path()), QStringList{"j.xls"});
        QCOMPARE(readFile(dir.filePath("j.xls")), QByteArray("earlier"));
#endif
    }

    // CSV: UTF-8 with a byte order mark, ';' under a comma locale, numbers
    // bare, texts quoted with their quotes doubled, CR LF.
    void csvFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("j.csv");
        const TextGrid grid = makeGrid({"Время", "Параметр"}, {{"02.01.2000", "1;\"2\"\n3"}, {"12,5", ""}});
        QVERIFY(exportGrid(grid, "Счетчик № 5, Журнал установок", path, ExportFormat::Csv).ok);
        QCOMPARE(readFile(path), QByteArray("\xEF\xBB\xBF"
                                            "\"Счетчик № 5, Журнал установок\";\"\"\r\n"
                                            "\"Время\";\"Параметр\"\r\n"
                                            "\"02.01.2000\";\"1;\"\"2\"\"\n3\"\r\n"
                                            "12,5;\"\"\r\n"));
    }

    void formatFromName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("xls") << "a/b.xls" << ExportFormat::Xls;
        QTest::newRow("upper-case XLSX") << "b.XLSX" << ExportFormat::Xlsx;
        QTest::newRow("csv") << "b.csv" << ExportFormat::Csv;
        QTest::newRow("no extension: xls") << "b" << ExportFormat::Xls;
    }
    void formatFromName()
    {
        QFETCH(QString, path);
        QFETCH(ExportFormat, format);
        QCOMPARE(formatForPath(path), format);
    }
};

QTEST_GUILESS_MAIN(TestGridExport)
#include "tst_gridexport.moc"
