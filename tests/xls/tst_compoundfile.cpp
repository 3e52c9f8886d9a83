// The compound file container: streams of every size around the sector,
// mini-stream, FAT and DIFAT limits come back intact, and damaged files are
// refused without reading outside the buffer.
#include "xls/Bytes.h"
#include "xls/CompoundFile.h"

#include <QTest>

using namespace kelvar::xls;

namespace {

QByteArray pattern(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    return data;
}

const QByteArray kSample = pattern(6000);

QByteArray sampleFile() { return writeCompoundFile(QStringLiteral("Workbook"), kSample); }

// Sector n starts at (n + 1) * 512.
qsizetype sectorOffset(quint32 n) { return qsizetype(n + 1) * 512; }

// Offset of directory entry i of the sample file.
qsizetype dirEntryOffset(const QByteArray &file, int i)
{
    return sectorOffset(getU32(file.constData() + 48)) + 128 * i;
}

qsizetype fatEntryOffset(const QByteArray &file, quint32 sector)
{
    return sectorOffset(getU32(file.constData() + 76)) + 4 * sector;
}

} // namespace

class TestCompoundFile : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void rejectsDamage_data();
    void rejectsDamage();
};

void TestCompoundFile::roundTrip_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<quint32>("fatSectors");
    QTest::addColumn<quint32>("difatSectors");

    // Below 4096 the stream is padded so it never goes into the mini stream.
    QTest::newRow("1 byte") << qsizetype(1) << 1u << 0u;
    QTest::newRow("4095") << qsizetype(4095) << 1u << 0u;
    QTest::newRow("4096") << qsizetype(4096) << 1u << 0u;
    QTest::newRow("4097") << qsizetype(4097) << 1u << 0u;
    QTest::newRow("4607") << qsizetype(4607) << 1u << 0u;
    QTest::newRow("4608") << qsizetype(4608) << 1u << 0u;
    QTest::newRow("4609") << qsizetype(4609) << 1u << 0u;
    // One FAT sector maps 128 sectors: 126 of stream, the directory, itself.
    QTest::newRow("FAT full") << qsizetype(126 * 512) << 1u << 0u;
    QTest::newRow("second FAT sector") << qsizetype(126 * 512 + 1) << 2u << 0u;
    // The header lists 109 FAT sectors; beyond that a DIFAT sector does.
    QTest::newRow("109 FAT sectors") << qsizetype((109 * 128 - 110) * 512) << 109u << 0u;
    QTest::newRow("DIFAT needed") << qsizetype((109 * 128 - 110) * 512 + 1) << 110u << 1u;
}

void TestCompoundFile::roundTrip()
{
    QFETCH(qsizetype, size);
    QFETCH(quint32, fatSectors);
    QFETCH(quint32, difatSectors);

    const QByteArray data = pattern(size);
    const QByteArray file = writeCompoundFile(QStringLiteral("Workbook"), data);
    QCOMPARE(file.size() % 512, 0);
    QCOMPARE(getU32(file.constData() + 44), fatSectors);
    QCOMPARE(getU32(file.constData() + 72), difatSectors);

    // Every sector of the file is the stream, the directory, a FAT or a
    // DIFAT sector, and the FAT marks each FAT and DIFAT sector as such.
    const quint32 sectors = quint32(file.size() / 512 - 1);
    const quint32 streamSectors = quint32((std::max<qsizetype>(size, 4096) + 511) / 512);
    QCOMPARE(sectors, streamSectors + 1 + fatSectors + difatSectors);

    CompoundFileReader reader;
    QString error;
    QVERIFY2(reader.open(file, &error), qPrintable(error));
    QVERIFY(reader.hasStream(QStringLiteral("WORKBOOK")));
    QByteArray stream;
    QVERIFY2(reader.readStream(QStringLiteral("Workbook"), &stream, &error), qPrintable(error));
    QCOMPARE(stream.size(), std::max<qsizetype>(size, 4096));
    QVERIFY(stream.first(size) == data);
    QVERIFY(stream.sliced(size).count('\0') == stream.size() - size);
}

void TestCompoundFile::rejectsDamage_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray good = sampleFile();
    auto patched = [&](qsizetype at, quint32 value) {
        QByteArray f = good;
        patchU32(f, at, value);
        return f;
    };
    const qsizetype streamEntry = dirEntryOffset(good, 1);

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("shorter than a header") << good.first(511);
    QTest::newRow("not a compound file") << pattern(8192);
    {
        QByteArray f = good;
        f[29] = 0x00; // byte order mark
        QTest::newRow("big-endian mark") << f;
    }
    {
        QByteArray f = good;
        f[26] = 4; // version 4 needs 4096-byte sectors
        QTest::newRow("version 4 with 512-byte sectors") << f;
    }
    QTest::newRow("no FAT sectors") << patched(44, 0);
    QTest::newRow("absurd FAT count") << patched(44, 0x7FFFFFFF);
    QTest::newRow("FAT sector outside the file") << patched(76, 100000);
    QTest::newRow("directory outside the file") << patched(48, 100000);
    QTest::newRow("directory chain loops") << patched(fatEntryOffset(good, getU32(good.constData() + 48)),
                                                      getU32(good.constData() + 48));
    QTest::newRow("stream chain loops") << patched(fatEntryOffset(good, 3), 0);
    QTest::newRow("stream chain ends early") << patched(fatEntryOffset(good, 3), 0xFFFFFFFE);
    QTest::newRow("stream chain leaves the file") << patched(fatEntryOffset(good, 3), 5000);
    QTest::newRow("stream larger than the file") << patched(streamEntry + 120, 0x7FFFFFFF);
    QTest::newRow("stream start outside the file") << patched(streamEntry + 116, 0xFFFFFFF0);
    QTest::newRow("stream in the mini stream") << patched(streamEntry + 120, 100);
    QTest::newRow("root is not a root") << [&] {
        QByteArray f = good;
        f[dirEntryOffset(good, 0) + 66] = 1;
        return f;
    }();
    QTest::newRow("no such stream") << writeCompoundFile(QStringLiteral("Other"), kSample);
    {
        QByteArray f = writeCompoundFile(QStringLiteral("Other"), kSample);
        patchU32(f, streamEntry + 68, 1); // left sibling: itself
        QTest::newRow("sibling tree loops") << f;
    }
    QTest::newRow("truncated to the header") << good.first(512);
    QTest::newRow("truncated in the stream") << good.first(2048);
}

void TestCompoundFile::rejectsDamage()
{
    QFETCH(QByteArray, file);
    CompoundFileReader reader;
    QString error;
    QByteArray stream;
    const bool ok = reader.open(file, &error) && reader.readStream(QStringLiteral("Workbook"), &stream, &error);
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestCompoundFile)
#include "tst_compoundfile.moc"
