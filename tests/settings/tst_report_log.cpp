// The short report file and the bench operation log, byte for byte.

#include "meter/OperationLog.h"
#include "meter/ShortReport.h"
#include "TestUtil.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace kelvar;
using kelvar::test::readFile;
using kelvar::test::writeFile;

namespace {
const QStringList MainCaptions{
    "Тип", "Заводской номер", "Версия ПО", "Откалиброван", "Описание", "", "Дата / время",
    "Автопереход на летнее время", "Тест часов", "", "Расчетный день", "Расчетный час",
    "Контрольная сумма тарифного расписания", "", "Время интегрирования пиковой мощности Pинт, мин.",
    "Время интегрирования при переходе на штрафной тариф, сек.", "", "Время работы", "Счетчик коррекций",
    "Текущий тариф", "Температура"};
const QStringList AddiCaptions{
    "Суммарное потребление", "", "1 тариф", "2 тариф", "3 тариф", "", "1 тариф на РДЧ", "2 тариф на РДЧ",
    "3 тариф на РДЧ", "", "Фаза А", "Фаза В", "Фаза С", "", "Текущая мощность, Вт", "",
    "Пиковая мощность Pинт, Вт", "Время фиксации", "", "Пиковая мощность на РДЧ Pрдч, Вт", "Время фиксации"};

QByteArray cp1251(const QString &text)
{
    auto encode = QStringEncoder("windows-1251");
    return encode(text);
}

} // namespace

class TestReportLog : public QObject {
    Q_OBJECT
private slots:
    void report_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<int>("lineCount");
        QTest::newRow("before any meter answered") << false << QStringList{} << 47;
        QTest::newRow("three display items ticked")
            << true << QStringList{"суммарные показания", "показания на РДЧ ", "мощность"} << 50;
    }
    void report()
    {
        QFETCH(bool, answered);
        QFETCH(QStringList, ticked);
        QFETCH(int, lineCount);

        meter::ShortReportInput in;
        in.systemTime = QDateTime(QDate(2026, 12, 9), QTime(8, 3, 7));
        in.mainCaptions = MainCaptions;
        in.addiCaptions = AddiCaptions;
        in.mainValues = QStringList(21, QString());
        in.addiValues = QStringList(21, QString());
        if (answered) {
            in.mainValues[0] = "Kelvar 517.01";
            in.mainValues[4] = "Щит\t2";            // a tab inside a value stays as it is
            in.addiValues[2] = "1234,5";
        }
        in.displayItems = ticked;

        QByteArray expected = cp1251("Системное время\t09.12.2026 08:03:07\r\n\t\r\n");
        for (int row = 0; row < 21; ++row)
            expected += cp1251(MainCaptions[row] + "\t" + in.mainValues[row] + "\r\n");
        expected += "\t\r\n";
        for (int row = 0; row < 21; ++row)
            expected += cp1251(AddiCaptions[row] + "\t" + in.addiValues[row] + "\r\n");
        expected += cp1251("\t\r\nИндикатор\t\r\n");
        for (const QString &item : ticked)
            expected += cp1251("\t" + item + "\r\n");

        QTemporaryDir dir;
        const QString path = dir.filePath("report.txt");
        QVERIFY(writeFile(path, QByteArray(5000, 'x')));     // an older, longer file is replaced
        QString error;
        QVERIFY(meter::saveShortReport(path, in, &error));
        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes, expected);
        QCOMPARE(bytes.count("\r\n"), lineCount);
        QCOMPARE(bytes.count('\n'), lineCount);
    }

    void reportUnwritable()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!meter::saveShortReport(dir.filePath("missing/folder/report.txt"), {}, &error));
        QVERIFY(!error.isEmpty());
    }

    void logLines()
    {
        QTemporaryDir dir;
        const QString path = meter::OperationLog::pathIn(dir.path());
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Setting_Kelvar_517.log"));
        meter::OperationLog log(path);
        QVERIFY(log.append(4711, "Номер=4711", QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))));
        QVERIFY(log.append(0, "Описание=Щит", QDateTime(QDate(2026, 12, 10), QTime(0, 0))));
        QVERIFY(log.append(131071, "Расчетный день=5 Расчетный час=0", QDateTime(QDate(2027, 1, 2), QTime(9, 0, 1))));
        QCOMPARE(readFile(path), cp1251("004711[09.12.2026 14:05:09] Номер=4711\r\n"
                                        "000000[10.12.2026] Описание=Щит\r\n"
                                        "131071[02.01.2027 09:00:01] Расчетный день=5 Расчетный час=0\r\n"));

        // Production mode keeps no local log.
        log.setEnabled(false);
        QVERIFY(log.append(4711, "Номер=1", QDateTime::currentDateTime()));
        QCOMPARE(readFile(path).count("\r\n"), 3);
    }

    void filter_data()
    {
        QTest::addColumn<qint64>("key");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("4711: six-digit key, shown from the bracket on")
            << qint64(4711) << QStringList{"[09.12.2026 14:05:09] Номер=4711", "[09.12.2026 14:06:00] Описание"};
        QTest::newRow("0: entries without a meter number") << qint64(0) << QStringList{"[01.01.2026] Время="};
        QTest::newRow("six digits; a seven-digit number sharing them matches too")
            << qint64(131071) << QStringList{"[x] Адрес=1", "0[y] Адрес=2"};
        QTest::newRow("seven digits never match") << qint64(1310710) << QStringList{};
        QTest::newRow("no entries") << qint64(42) << QStringList{};
    }
    void filter()
    {
        QFETCH(qint64, key);
        QFETCH(QStringList, entries);
        QTemporaryDir dir;
        const QString path = meter::OperationLog::pathIn(dir.path());
        meter::OperationLog log(path);
        QCOMPARE(log.entriesFor(key), QStringList{});   // no file yet
        QVERIFY(writeFile(path, cp1251("004711[09.12.2026 14:05:09] Номер=4711\r\n"
                                       "0047\r\n"                       // shorter than six characters
                                       "000000[01.01.2026] Время=\r\n"
                                       "131071[x] Адрес=1\n"            // a bare LF ends a line too
                                       "1310710[y] Адрес=2\r\n"
                                       "004711[09.12.2026 14:06:00] Описание")));
        QCOMPARE(log.entriesFor(key), entries);
        QCOMPARE(meter::OperationLog::filterKey(47), QStringLiteral("000047"));
    }

    void appendAfterALineWithoutEnd()
    {
        QTemporaryDir dir;
        const QString path = meter::OperationLog::pathIn(dir.path());
        QVERIFY(writeFile(path, "000001[a] b"));
        QVERIFY(meter::OperationLog(path).append(2, "c", QDateTime(QDate(2026, 1, 1), QTime(0, 0))));
        QCOMPARE(readFile(path), QByteArray("000001[a] b\r\n000002[01.01.2026] c\r\n"));
    }

    void unwritableLogKeepsEarlierLines_data()
    {
        QTest::addColumn<int>("room");
        QTest::newRow("no room at all") << 0;
        QTest::newRow("room for part of the line") << 7;
    }
    void unwritableLogKeepsEarlierLines()
    {
#ifdef Q_OS_UNIX
        QFETCH(int, room);
        QTemporaryDir dir;
        const QString path = meter::OperationLog::pathIn(dir.path());
        meter::OperationLog log(path);
        const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 9));
        for (int i = 0; i < 50; ++i)
            QVERIFY(log.append(4711, QStringLiteral("Описание=%1").arg(i), when));
        const QByteArray before = readFile(path);

        // The file may not grow beyond its size plus `room` bytes: the disk is full.
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = old;
        full.rlim_cur = rlim_t(before.size() + room);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
        const bool written = log.append(4711, QStringLiteral("Номер=4711"), when);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(readFile(path), before);
        QCOMPARE(log.entriesFor(4711).size(), 50);
        // Once there is room again, logging goes on behind the earlier lines.
        QVERIFY(log.append(4711, QStringLiteral("Номер=4711"), when));
        QCOMPARE(log.entriesFor(4711).size(), 51);
#else
        QSKIP("needs a file size limit");
#endif
    }

    void logPathIsAFolder()
    {
        QTemporaryDir dir;
        meter::OperationLog log(dir.path());
        QVERIFY(!log.append(1, "x", QDateTime::currentDateTime()));
        QCOMPARE(log.entriesFor(1), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestReportLog)
#include "tst_report_log.moc"
