// The BIFF8 workbook stream: cell values survive writing and reading, shared
// strings split over CONTINUE records as the format requires, the index
// records (EXTSST, BOUNDSHEET, DIMENSIONS) point where they should, invalid
// books are refused by the writer and damaged streams by the reader.
#include "xls/BiffReader.h"
#include "xls/BiffRecords.h"
#include "xls/BiffWriter.h"
#include "xls/Bytes.h"

#include <QPoint>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace kelvar::xls;

Q_DECLARE_METATYPE(kelvar::xls::CellValue)

namespace {

struct RawRecord {
    qsizetype offset; // of the record header in the stream
    quint16 id;
    QByteArray data;
};

// Splits a stream into records without interpreting them.
std::vector<RawRecord> records(const QByteArray &stream, qsizetype from = 0)
{
    std::vector<RawRecord> list;
    for (qsizetype at = from; at + 4 <= stream.size();) {
        const quint16 id = getU16(stream.constData() + at);
        const quint16 length = getU16(stream.constData() + at + 2);
        list.push_back({at, id, stream.mid(at + 4, length)});
        at += 4 + length;
        if (id == biff::kEof && from != 0)
            break;
    }
    return list;
}

std::vector<RawRecord> recordsWithId(const QByteArray &stream, quint16 id)
{
    std::vector<RawRecord> all = records(stream);
    std::erase_if(all, [&](const RawRecord &r) { return r.id != id; });
    return all;
}

Book bookWithTexts(const std::vector<QString> &texts)
{
    Book book = emptyWorkbook();
    for (std::size_t i = 0; i < texts.size(); ++i)
        book.sheets[0].cells[Sheet::cellKey(int(i), 0)] = texts[i];
    return book;
}

QByteArray streamOf(const Book &book)
{
    QByteArray stream;
    QString error;
    if (!writeWorkbookStream(book, &stream, &error))
        qFatal("writer refused the book: %s", qPrintable(error));
    return stream;
}

quint64 bitsOf(double d)
{
    quint64 b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

QByteArray utf16(const QString &s)
{
    QByteArray out;
    for (QChar c : s)
        putU16(out, c.unicode());
    return out;
}

} // namespace

class TestBiff : public QObject {
    Q_OBJECT

private slots:
    void cellRoundTrip_data();
    void cellRoundTrip();
    void sstSplits_data();
    void sstSplits();
    void extSstPointsAtStrings();
    void dimensions_data();
    void dimensions();
    void sheetsAndPageSetup();
    void writerRefuses_data();
    void writerRefuses();
    void readerRefuses_data();
    void readerRefuses();
    void unusableFontIsReplaced();
};

void TestBiff::cellRoundTrip_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<CellValue>("value");

    QTest::newRow("empty text") << 0 << 0 << CellValue(QString());
    QTest::newRow("ASCII") << 0 << 1 << CellValue(QStringLiteral("1 тариф"));
    QTest::newRow("Latin-1 only, stored compressed") << 1 << 0 << CellValue(QStringLiteral("café ß ÿ"));
    QTest::newRow("Cyrillic") << 2 << 3 << CellValue(QStringLiteral("Счетчик № 123456, Суточный журнал "));
    QTest::newRow("surrogate pair") << 3 << 0 << CellValue(QStringLiteral("\U0001F600"));
    QTest::newRow("32767 characters") << 4 << 0 << CellValue(QString(32767, QChar(0x0416)));
    QTest::newRow("negative") << 0 << 2 << CellValue(-1.5);
    QTest::newRow("1e-7") << 0 << 3 << CellValue(1e-7);
    QTest::newRow("1e300") << 0 << 4 << CellValue(1e300);
    QTest::newRow("whole") << 0 << 5 << CellValue(65536.0);
    QTest::newRow("zero") << 0 << 6 << CellValue(0.0);
    QTest::newRow("negative zero") << 0 << 7 << CellValue(-0.0);
    QTest::newRow("smallest denormal") << 9 << 9 << CellValue(std::numeric_limits<double>::denorm_min());
    QTest::newRow("largest") << 9 << 10 << CellValue(std::numeric_limits<double>::max());
    QTest::newRow("last row and column") << 65535 << 255 << CellValue(QStringLiteral("угол"));
}

void TestBiff::cellRoundTrip()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(CellValue, value);

    Book book = emptyWorkbook();
    book.sheets[0].cells[Sheet::cellKey(row, column)] = value;
    book.sheets[2].cells[Sheet::cellKey(0, 0)] = QStringLiteral("third sheet");
    Book back;
    QString error;
    QVERIFY2(readWorkbookStream(streamOf(book), &back, &error), qPrintable(error));
    QCOMPARE(back.sheets.size(), std::size_t(3));
    QCOMPARE(back.sheets[0].cells.size(), std::size_t(1));
    const auto it = back.sheets[0].cells.find(Sheet::cellKey(row, column));
    QVERIFY(it != back.sheets[0].cells.end());
    QCOMPARE(it->second.index(), value.index());
    if (const double *d = std::get_if<double>(&value))
        QCOMPARE(bitsOf(std::get<double>(it->second)), bitsOf(*d));
    else
        QCOMPARE(std::get<QString>(it->second), std::get<QString>(value));
    QCOMPARE(std::get<QString>(back.sheets[2].cells.at(0)), QStringLiteral("third sheet"));
}

// Where a record boundary falls relative to the strings, and what the
// CONTINUE record after it must start with.
void TestBiff::sstSplits_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("continueIndex");   // which CONTINUE record
    QTest::addColumn<QByteArray>("startsWith"); // its first bytes

    // The table starts with 8 bytes of counts; each string has a 3-byte header.
    const QString fill5 = QString(8224 - 8 - 3 - 5, u'a');      // leaves 5 bytes
    QTest::newRow("inside a compressed string")
        << QStringList{fill5, QStringLiteral("split-inside")} << 0
        << QByteArray("\x00" "lit-inside", 11);
    QTest::newRow("inside a UTF-16 string")
        << QStringList{fill5, QStringLiteral("ЖЖЖЖ")} << 0
        << QByteArray("\x01", 1) + utf16(QStringLiteral("ЖЖЖ"));
    QTest::newRow("UTF-16 split keeps characters whole")
        << QStringList{QString(8224 - 8 - 3 - 6, u'a'), QStringLiteral("ЖЖЖЖ")} << 0
        << QByteArray("\x01", 1) + utf16(QStringLiteral("ЖЖЖ"));
    const QString fillExact = QString(8224 - 8 - 3, u'a');      // fills the record exactly
    QTest::newRow("exactly between strings")
        << QStringList{fillExact, QStringLiteral("next")} << 0
        << QByteArray("\x04\x00\x00next", 7);
    QTest::newRow("no room for the next header")
        << QStringList{QString(8224 - 8 - 3 - 2, u'a'), QStringLiteral("next")} << 0
        << QByteArray("\x04\x00\x00next", 7);
    QTest::newRow("header but no character")
        << QStringList{QString(8224 - 8 - 3 - 3, u'a'), QStringLiteral("next")} << 0
        << QByteArray("\x04\x00\x00next", 7);
    QTest::newRow("string spanning three records")
        << QStringList{QString(20000, u'b')} << 1
        << QByteArray("\x00", 1) + QByteArray(20000 - 8213 - 8223, 'b');
    QTest::newRow("UTF-16 string spanning records")
        << QStringList{QString(9000, QChar(0x0436))} << 0
        << QByteArray("\x01", 1) + utf16(QString(10, QChar(0x0436)));
}

void TestBiff::sstSplits()
{
    QFETCH(QStringList, texts);
    QFETCH(int, continueIndex);
    QFETCH(QByteArray, startsWith);

    const std::vector<QString> list(texts.begin(), texts.end());
    const QByteArray stream = streamOf(bookWithTexts(list));

    // The SST is followed directly by its CONTINUE records.
    const std::vector<RawRecord> all = records(stream);
    auto sst = std::find_if(all.begin(), all.end(), [](const RawRecord &r) { return r.id == biff::kSst; });
    QVERIFY(sst != all.end());
    std::vector<QByteArray> continues;
    for (auto it = sst + 1; it != all.end() && it->id == biff::kContinue; ++it)
        continues.push_back(it->data);
    QVERIFY(std::size_t(continueIndex) < continues.size());
    QCOMPARE(continues[continueIndex].first(startsWith.size()).toHex(' '), startsWith.toHex(' '));
    for (const RawRecord &r : all)
        QVERIFY(r.data.size() <= biff::kMaxRecordData);

    Book back;
    QString error;
    QVERIFY2(readWorkbookStream(stream, &back, &error), qPrintable(error));
    for (std::size_t i = 0; i < list.size(); ++i)
        QCOMPARE(std::get<QString>(back.sheets[0].cells.at(Sheet::cellKey(int(i), 0))), list[i]);
}

void TestBiff::extSstPointsAtStrings()
{
    std::vector<QString> texts;
    for (int i = 0; i < 5000; ++i)
        texts.push_back(QStringLiteral("строка номер %1 %2").arg(i).arg(QString(i % 37, u'x')));
    // Repeated texts are stored once and counted each time.
    texts.push_back(texts[10]);
    const QByteArray stream = streamOf(bookWithTexts(texts));

    const RawRecord sst = recordsWithId(stream, biff::kSst).at(0);
    QCOMPARE(getU32(sst.data.constData()), 5001u);
    QCOMPARE(getU32(sst.data.constData() + 4), 5000u);

    const QByteArray ext = recordsWithId(stream, biff::kExtSst).at(0).data;
    const quint16 perBucket = getU16(ext.constData());
    QVERIFY(perBucket >= 8);
    const int buckets = int((ext.size() - 2) / 8);
    QCOMPARE(buckets, int((5000 + perBucket - 1) / perBucket));
    QVERIFY(buckets <= 128);
    const std::vector<RawRecord> all = records(stream);
    for (int b = 0; b < buckets; ++b) {
        const quint32 at = getU32(ext.constData() + 2 + 8 * b);
        const quint16 inRecord = getU16(ext.constData() + 6 + 8 * b);
        // The string header at that offset is that of string b * perBucket,
        // and the offset within its record counts the record header.
        const QString &s = texts[std::size_t(b) * perBucket];
        QCOMPARE(getU16(stream.constData() + at), quint16(s.size()));
        const auto rec = std::find_if(all.begin(), all.end(), [&](const RawRecord &r) {
            return r.offset <= qsizetype(at) && qsizetype(at) < r.offset + 4 + r.data.size();
        });
        QVERIFY(rec != all.end());
        QVERIFY(rec->id == biff::kSst || rec->id == biff::kContinue);
        QCOMPARE(qsizetype(inRecord), qsizetype(at) - rec->offset);
    }
}

void TestBiff::dimensions_data()
{
    QTest::addColumn<QList<QPoint>>("cells"); // x = column, y = row, 0-based
    QTest::addColumn<QList<int>>("expected");  // first row, last row + 1, first column, last column + 1

    QTest::newRow("empty sheet") << QList<QPoint>{} << QList<int>{0, 0, 0, 0};
    QTest::newRow("A1") << QList<QPoint>{{0, 0}} << QList<int>{0, 1, 0, 1};
    QTest::newRow("scattered") << QList<QPoint>{{3, 5}, {7, 2}, {1, 9}} << QList<int>{2, 10, 1, 8};
    QTest::newRow("last cell") << QList<QPoint>{{255, 65535}} << QList<int>{65535, 65536, 255, 256};
}

void TestBiff::dimensions()
{
    QFETCH(QList<QPoint>, cells);
    QFETCH(QList<int>, expected);

    Book book = emptyWorkbook();
    for (const QPoint &p : cells)
        book.sheets[0].cells[Sheet::cellKey(p.y(), p.x())] = double(p.x());
    const QByteArray d = recordsWithId(streamOf(book), biff::kDimensions).at(0).data;
    QCOMPARE(d.size(), 14);
    QCOMPARE((QList<int>{int(getU32(d.constData())), int(getU32(d.constData() + 4)),
                         getU16(d.constData() + 8), getU16(d.constData() + 10)}),
             expected);
}

void TestBiff::sheetsAndPageSetup()
{
    Book book = emptyWorkbook();
    book.sheets[1].cells[Sheet::cellKey(3, 3)] = QStringLiteral("на втором листе");
    const QByteArray stream = streamOf(book);

    // Each BOUNDSHEET points at its sheet's BOF, in order, after the globals.
    const std::vector<RawRecord> sheets = recordsWithId(stream, biff::kBoundSheet);
    QCOMPARE(sheets.size(), std::size_t(3));
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const quint32 at = getU32(sheets[i].data.constData());
        QCOMPARE(getU16(stream.constData() + at), quint16(biff::kBof));
        QCOMPARE(getU16(stream.constData() + at + 6), quint16(biff::kBofWorksheet));
        ByteReader name(sheets[i].data);
        name.skip(6);
        const quint8 count = name.u8();
        const bool high = name.u8() & 1;
        QCOMPARE(name.chars(count, high), book.sheets[i].name);
    }

    // The page setup in the file's own units: margins in inches, A4, 100 %,
    // portrait with the settings marked valid.
    const std::vector<RawRecord> first = records(stream, getU32(sheets[0].data.constData()));
    auto find = [&](quint16 id) {
        return std::find_if(first.begin(), first.end(), [&](const RawRecord &r) { return r.id == id; })->data;
    };
    QCOMPARE(getF64(find(biff::kLeftMargin).constData()), 2.0 / 2.54);
    QCOMPARE(getF64(find(biff::kTopMargin).constData()), 2.67 / 2.54);
    const QByteArray setup = find(biff::kSetup);
    QCOMPARE(setup.size(), 34);
    QCOMPARE(getU16(setup.constData()), quint16(9));
    QCOMPARE(getU16(setup.constData() + 2), quint16(100));
    QCOMPARE(getU16(setup.constData() + 10) & 0x0046, 0x0002);
    QCOMPARE(getF64(setup.constData() + 16), 2.0 / 2.54);
    QCOMPARE(getF64(setup.constData() + 24), 2.0 / 2.54);
    QCOMPARE(find(biff::kFooter).mid(3), utf16(QStringLiteral("&C&\"Times New Roman,Regular\"&12Страница &P")));
    // Fit-to-page is off, so the scale applies.
    QCOMPARE(getU16(find(biff::kWsBool).constData()) & 0x0100, 0);

    Book back;
    QString error;
    QVERIFY2(readWorkbookStream(stream, &back, &error), qPrintable(error));
    QCOMPARE(back.activeSheet, 0);
    QCOMPARE(back.fontName, QStringLiteral("Arial"));
    QCOMPARE(back.fontHeight, quint16(200));
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(back.sheets[i].name, book.sheets[i].name);
        QVERIFY(back.sheets[i].page == book.sheets[i].page);
        QVERIFY(back.sheets[i].columns == book.sheets[i].columns);
        QCOMPARE(back.sheets[i].cells.size(), book.sheets[i].cells.size());
    }
}

void TestBiff::writerRefuses_data()
{
    QTest::addColumn<int>("fault");
    const char *faults[] = {"no sheets", "empty sheet name", "sheet name of 32 characters",
                            "sheet name with a slash", "sheet names equal but for case",
                            "active sheet missing", "NaN", "infinity", "text of 32768 characters",
                            "header of 256 characters", "negative margin", "column range past IV"};
    for (int i = 0; i < int(std::size(faults)); ++i)
        QTest::newRow(faults[i]) << i;
}

void TestBiff::writerRefuses()
{
    QFETCH(int, fault);
    Book book = emptyWorkbook();
    Sheet &s = book.sheets[0];
    switch (fault) {
    case 0: book.sheets.clear(); break;
    case 1: s.name.clear(); break;
    case 2: s.name = QString(32, u'Л'); break;
    case 3: s.name = QStringLiteral("1/2"); break;
    case 4: s.name = QStringLiteral("лист2"); break;
    case 5: book.activeSheet = 3; break;
    case 6: s.cells[0] = std::numeric_limits<double>::quiet_NaN(); break;
    case 7: s.cells[0] = -std::numeric_limits<double>::infinity(); break;
    case 8: s.cells[0] = QString(32768, u'x'); break;
    case 9: s.page.header = QString(256, u'x'); break;
    case 10: s.page.leftMargin = -0.1; break;
    case 11: s.columns.push_back({0, 256, 100}); break;
    }
    QByteArray stream("untouched");
    QString error;
    QVERIFY(!writeWorkbookStream(book, &stream, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(stream, QByteArray("untouched"));
}

void TestBiff::readerRefuses_data()
{
    QTest::addColumn<QByteArray>("stream");

    Book book = emptyWorkbook();
    book.sheets[0].cells[Sheet::cellKey(0, 0)] = QStringLiteral("текст");
    book.sheets[0].cells[Sheet::cellKey(1, 0)] = 2.5;
    const QByteArray good = streamOf(book);
    const auto first = [&](quint16 id) { return recordsWithId(good, id).at(0).offset; };
    auto patched = [&](qsizetype at, QByteArray bytes) {
        QByteArray s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    auto u16 = [](quint16 v) { QByteArray b; putU16(b, v); return b; };
    auto u32 = [](quint32 v) { QByteArray b; putU32(b, v); return b; };

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no BOF first") << good.mid(first(biff::kCodepage));
    QTest::newRow("Excel 5 BOF") << patched(4, u16(0x0500));
    QTest::newRow("sheet BOF first") << patched(6, u16(biff::kBofWorksheet));
    QTest::newRow("record longer than the limit") << patched(2, u16(8225));
    QTest::newRow("record past the end") << good.first(first(biff::kSst) + 6);
    QTest::newRow("no EOF at the end") << good.chopped(4);
    QTest::newRow("encrypted") << patched(first(biff::kBackup), u16(biff::kFilePass));
    QTest::newRow("shared string index out of range") << patched(first(biff::kLabelSst) + 10, u32(1));
    QTest::newRow("shared string cut short") << patched(first(biff::kSst) + 12, u16(500));
    QTest::newRow("sheet position past the end") << patched(first(biff::kBoundSheet) + 4, u32(0x00FFFFFF));
    QTest::newRow("sheet position inside the globals") << patched(first(biff::kBoundSheet) + 4, u32(0));
    QTest::newRow("chart sheet") << patched(first(biff::kBoundSheet) + 9, QByteArray(1, '\x02'));
    QTest::newRow("formula cell") << patched(first(biff::kNumber), u16(biff::kFormula));
    QTest::newRow("column 257") << patched(first(biff::kNumber) + 6, u16(256));
    QTest::newRow("NaN number") << patched(first(biff::kNumber) + 10, QByteArray::fromHex("000000000000f87f"));
    QTest::newRow("bad margin") << patched(first(biff::kLeftMargin) + 4, QByteArray::fromHex("000000000000f0ff"));
    QTest::newRow("sheet name with a colon") << patched(first(biff::kBoundSheet) + 12, u16(':'));
}

void TestBiff::readerRefuses()
{
    QFETCH(QByteArray, stream);
    Book book;
    QString error;
    QVERIFY(!readWorkbookStream(stream, &book, &error));
    QVERIFY(!error.isEmpty());
}

void TestBiff::unusableFontIsReplaced()
{
    Book book = emptyWorkbook();
    book.fontName = QStringLiteral("Courier New");
    book.fontHeight = 240;
    QByteArray stream = streamOf(book);
    const qsizetype font = recordsWithId(stream, biff::kFont).at(0).offset;
    stream[font + 4] = 0; // height 0 twips
    stream[font + 5] = 0;
    Book back;
    QString error;
    QVERIFY2(readWorkbookStream(stream, &back, &error), qPrintable(error));
    QCOMPARE(back.fontName, QStringLiteral("Arial"));
    QCOMPARE(back.fontHeight, quint16(200));
}

QTEST_GUILESS_MAIN(TestBiff)
#include "tst_biff.moc"
