// The operations the journal export uses, in its order: load the template
// store and find "new.xls", write it out, open it, set cells, save, close.
#include "xls/BiffWriter.h"
#include "xls/CompoundFile.h"
#include "xls/TemplateStore.h"
#include "xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace kelvar::xls;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray emptyTemplateFile()
{
    QByteArray stream;
    QString error;
    if (!writeWorkbookStream(emptyWorkbook(), &stream, &error))
        qFatal("%s", qPrintable(error));
    return writeCompoundFile(QStringLiteral("Workbook"), stream);
}

Workbook openTemplate()
{
    Workbook book;
    if (!book.openData(emptyTemplateFile()))
        qFatal("%s", qPrintable(book.errorString()));
    return book;
}

bool sameValue(const CellValue &a, const CellValue &b)
{
    if (a.index() != b.index())
        return false;
    if (const double *x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return std::memcmp(x, &y, sizeof y) == 0;
    }
    return std::get<QString>(a) == std::get<QString>(b);
}

} // namespace

class TestWorkbook : public QObject {
    Q_OBJECT

private slots:
    void builtInStoreHoldsTheEmptyWorkbook();
    void storeRoundTrip();
    void storeRefuses_data();
    void storeRefuses();
    void writeTemplate();
    void setCellLimits_data();
    void setCellLimits();
    void reopenKeepsEveryCell();
    void saveReplacesAndFailsCleanly();
    void closedWorkbookRefuses();
    void openRefuses_data();
    void openRefuses();
};

void TestWorkbook::builtInStoreHoldsTheEmptyWorkbook()
{
    TemplateStore store;
    QVERIFY2(store.load(TemplateStore::builtInImage()), qPrintable(store.errorString()));
    QCOMPARE(store.names(), QStringList{QStringLiteral("new.xls")});
    QByteArray image;
    QVERIFY(store.find(QStringLiteral("new.xls"), &image));
    // The compiled-in template is what the writer makes of the empty workbook.
    QVERIFY(image == emptyTemplateFile());

    Workbook book;
    QVERIFY2(book.openData(image), qPrintable(book.errorString()));
    const Book expected = emptyWorkbook();
    QCOMPARE(book.book().sheets.size(), std::size_t(3));
    QCOMPARE(book.book().activeSheet, 0);
    QCOMPARE(book.book().fontName, QStringLiteral("Arial"));
    QCOMPARE(book.book().fontHeight, quint16(200));
    for (std::size_t i = 0; i < 3; ++i) {
        const Sheet &s = book.book().sheets[i];
        QCOMPARE(s.name, QStringLiteral("Лист%1").arg(i + 1));
        QVERIFY(s.cells.empty());
        QVERIFY(s.page == expected.sheets[i].page);
        QCOMPARE(s.columns.size(), std::size_t(1));
        QCOMPARE(s.columns[0].width, quint16(2961));
    }
    QVERIFY(!store.find(QStringLiteral("NEW.XLS"), &image));
    QVERIFY(store.errorString().contains(QStringLiteral("NEW.XLS")));
}

void TestWorkbook::storeRoundTrip()
{
    const std::vector<TemplateStore::Template> templates = {
        {QStringLiteral("new.xls"), QByteArray("first")},
        {QStringLiteral("пустой"), QByteArray()},
        {QStringLiteral("third"), QByteArray(70000, '\x5A')},
    };
    TemplateStore store;
    QVERIFY2(store.load(TemplateStore::encode(templates)), qPrintable(store.errorString()));
    QCOMPARE(store.names(), (QStringList{"new.xls", "пустой", "third"}));
    for (const auto &[name, data] : templates) {
        QByteArray image("stale");
        QVERIFY(store.find(name, &image));
        QCOMPARE(image, data);
    }
}

void TestWorkbook::storeRefuses_data()
{
    QTest::addColumn<QByteArray>("image");

    const QByteArray good = TemplateStore::encode({{QStringLiteral("new.xls"), QByteArray("data")}});
    // A body with a valid checksum, to reach the checks behind it.
    auto sealed = [](QByteArray body) {
        const quint32 crc = crc32(body);
        for (int i = 0; i < 4; ++i)
            body.append(char(crc >> (8 * i)));
        return body;
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("wrong magic") << QByteArray("XXXX") + good.mid(4);
    QTest::newRow("one bit flipped") << [&] { QByteArray b = good; b[20] = char(b[20] ^ 0x01); return b; }();
    QTest::newRow("truncated") << good.chopped(1);
    QTest::newRow("unknown version") << sealed([&] { QByteArray b = good.chopped(4); b[4] = 2; return b; }());
    QTest::newRow("entry past the end") << sealed(good.chopped(4).chopped(2));
    QTest::newRow("trailing bytes") << sealed(good.chopped(4) + "junk");
    QTest::newRow("duplicate name")
        << TemplateStore::encode({{QStringLiteral("a"), QByteArray("1")}, {QStringLiteral("a"), QByteArray("2")}});
}

void TestWorkbook::storeRefuses()
{
    QFETCH(QByteArray, image);
    TemplateStore store;
    QVERIFY(store.load(TemplateStore::builtInImage()));
    QVERIFY(!store.load(image));
    QVERIFY(!store.errorString().isEmpty());
    QVERIFY(store.names().isEmpty());
}

void TestWorkbook::writeTemplate()
{
    QTemporaryDir dir;
    TemplateStore store;
    QVERIFY(store.load(TemplateStore::builtInImage()));
    const QString path = dir.filePath(QStringLiteral("1new.xls"));
    QVERIFY(writeAll(path, QByteArray(100000, 'x'))); // replaced entirely
    QVERIFY2(store.writeTemplate(QStringLiteral("new.xls"), path), qPrintable(store.errorString()));
    QVERIFY(readAll(path) == emptyTemplateFile());

    const QString missing = dir.filePath(QStringLiteral("no such folder/1new.xls"));
    QVERIFY(!store.writeTemplate(QStringLiteral("new.xls"), missing));
    QVERIFY(!store.errorString().isEmpty());
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!store.writeTemplate(QStringLiteral("old.xls"), dir.filePath(QStringLiteral("2new.xls"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("2new.xls"))));
}

void TestWorkbook::setCellLimits_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<CellValue>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("A1") << 1 << 1 << CellValue(1.0) << true;
    QTest::newRow("last row and column") << 65536 << 256 << CellValue(QStringLiteral("z")) << true;
    QTest::newRow("row 0") << 0 << 1 << CellValue(1.0) << false;
    QTest::newRow("column 0") << 1 << 0 << CellValue(1.0) << false;
    QTest::newRow("negative row") << -1 << 1 << CellValue(1.0) << false;
    QTest::newRow("row 65537") << 65537 << 1 << CellValue(1.0) << false;
    QTest::newRow("column 257") << 1 << 257 << CellValue(1.0) << false;
    QTest::newRow("text of 32767") << 2 << 2 << CellValue(QString(32767, u'я')) << true;
    QTest::newRow("text of 32768") << 2 << 2 << CellValue(QString(32768, u'я')) << false;
    QTest::newRow("NaN") << 2 << 2 << CellValue(std::numeric_limits<double>::quiet_NaN()) << false;
    QTest::newRow("infinity") << 2 << 2 << CellValue(std::numeric_limits<double>::infinity()) << false;
}

void TestWorkbook::setCellLimits()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(CellValue, value);
    QFETCH(bool, accepted);

    Workbook book = openTemplate();
    QVERIFY(book.setText(2, 2, QStringLiteral("before")));
    const bool ok = std::holds_alternative<double>(value) ? book.setNumber(row, column, std::get<double>(value))
                                                          : book.setText(row, column, std::get<QString>(value));
    QCOMPARE(ok, accepted);
    QCOMPARE(book.errorString().isEmpty(), accepted);
    const auto &cells = book.book().sheets[0].cells;
    if (accepted) {
        QVERIFY(sameValue(cells.at(Sheet::cellKey(row - 1, column - 1)), value));
        QByteArray file;
        QVERIFY2(book.toData(&file), qPrintable(book.errorString()));
    } else {
        // A refused value changes nothing.
        QCOMPARE(cells.size(), std::size_t(1));
        QCOMPARE(std::get<QString>(cells.at(Sheet::cellKey(1, 1))), QStringLiteral("before"));
    }
}

void TestWorkbook::reopenKeepsEveryCell()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.xls"));
    std::map<quint32, CellValue> expected;
    auto set = [&](Workbook &book, int row, int column, CellValue v) {
        const bool ok = std::holds_alternative<double>(v) ? book.setNumber(row, column, std::get<double>(v))
                                                          : book.setText(row, column, std::get<QString>(v));
        QVERIFY2(ok, qPrintable(book.errorString()));
        expected[Sheet::cellKey(row - 1, column - 1)] = v;
    };

    Workbook book = openTemplate();
    for (int r = 1; r <= 300; ++r) {
        set(book, r, 1, QStringLiteral("%1.01.2024 текст").arg(r));
        set(book, r, 2, r * 0.1);
        set(book, r, 3, -r * 1e-7);
    }
    QVERIFY2(book.save(path), qPrintable(book.errorString()));
    book.close();

    for (int round = 0; round < 2; ++round) {
        Workbook again;
        QVERIFY2(again.open(path), qPrintable(again.errorString()));
        set(again, 1, 2, QStringLiteral("заменено %1").arg(round)); // number becomes text
        set(again, 2, 1, double(round));                           // text becomes number
        set(again, 301 + round, 4, QStringLiteral("новая строка"));
        QVERIFY2(again.save(path), qPrintable(again.errorString()));
    }

    Workbook last;
    QVERIFY2(last.open(path), qPrintable(last.errorString()));
    const Book &b = last.book();
    QCOMPARE(b.sheets[0].cells.size(), expected.size());
    for (const auto &[key, value] : expected)
        QVERIFY2(sameValue(b.sheets[0].cells.at(key), value),
                 qPrintable(QStringLiteral("row %1 column %2").arg(Sheet::rowOf(key) + 1).arg(Sheet::columnOf(key) + 1)));
    const Book fresh = emptyWorkbook();
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(b.sheets[i].name, fresh.sheets[i].name);
        QVERIFY(b.sheets[i].page == fresh.sheets[i].page);
        QVERIFY(b.sheets[i].columns == fresh.sheets[i].columns);
    }
}

void TestWorkbook::saveReplacesAndFailsCleanly()
{
    QTemporaryDir dir;
    Workbook book = openTemplate();
    QVERIFY(book.setText(1, 1, QStringLiteral("Счетчик")));

    // Saving over a longer file leaves exactly the workbook.
    const QString path = dir.filePath(QStringLiteral("out.xls"));
    QVERIFY(writeAll(path, QByteArray(1 << 20, 'x')));
    QVERIFY2(book.save(path), qPrintable(book.errorString()));
    QByteArray expected;
    QVERIFY(book.toData(&expected));
    QVERIFY(readAll(path) == expected);

    // A folder that does not exist, or a folder at the chosen name: an
    // error, and nothing written or removed.
    const QString missing = dir.filePath(QStringLiteral("missing/out.xls"));
    QVERIFY(!book.save(missing));
    QVERIFY(!book.errorString().isEmpty());
    QVERIFY(!QFile::exists(missing));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.xls")));
    QVERIFY(!book.save(dir.filePath(QStringLiteral("taken.xls"))));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("taken.xls"))).isDir());
    // No temporary files are left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.xls")});
    // The workbook is still open and can be saved elsewhere.
    QVERIFY(book.isOpen());
    QVERIFY(book.save(dir.filePath(QStringLiteral("second.xls"))));
}

void TestWorkbook::closedWorkbookRefuses()
{
    Workbook book;
    QVERIFY(!book.isOpen());
    QVERIFY(!book.setText(1, 1, QStringLiteral("x")));
    QVERIFY(!book.errorString().isEmpty());
    QByteArray data;
    QVERIFY(!book.toData(&data));
    QTemporaryDir dir;
    QVERIFY(!book.save(dir.filePath(QStringLiteral("a.xls"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.xls"))));

    book = openTemplate();
    QVERIFY(book.isOpen());
    book.close();
    QVERIFY(!book.isOpen());
    QVERIFY(!book.setNumber(1, 1, 1.0));
}

void TestWorkbook::openRefuses_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray good = emptyTemplateFile();
    QByteArray random(20000, Qt::Uninitialized);
    quint32 x = 12345;
    for (char &c : random) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    QByteArray stream;
    QString error;
    writeWorkbookStream(emptyWorkbook(), &stream, &error);

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("random bytes") << random;
    QTest::newRow("random bytes behind the signature") << good.first(8) + random;
    QTest::newRow("truncated to half") << good.first(good.size() / 2);
    QTest::newRow("header only") << good.first(512);
    QTest::newRow("compound file without a workbook") << writeCompoundFile(QStringLiteral("WordDocument"), stream);
    QTest::newRow("Excel 95 workbook") << writeCompoundFile(QStringLiteral("Book"), stream);
    QTest::newRow("workbook stream of garbage") << writeCompoundFile(QStringLiteral("Workbook"), random);
    QTest::newRow("workbook stream of zeros") << writeCompoundFile(QStringLiteral("Workbook"), QByteArray(5000, '\0'));
}

void TestWorkbook::openRefuses()
{
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.xls"));
    QVERIFY(writeAll(path, file));

    Workbook book = openTemplate();
    QVERIFY(book.setText(1, 1, QStringLiteral("kept")));
    QVERIFY(!book.open(path));
    QVERIFY(book.errorString().contains(path));
    // The workbook open before is still there.
    QVERIFY(book.isOpen());
    QCOMPARE(std::get<QString>(book.book().sheets[0].cells.at(0)), QStringLiteral("kept"));

    Workbook fresh;
    QVERIFY(!fresh.open(path));
    QVERIFY(!fresh.isOpen());
    QVERIFY(!fresh.open(dir.filePath(QStringLiteral("does not exist.xls"))));
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
