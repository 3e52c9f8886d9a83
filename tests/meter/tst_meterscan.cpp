// The scan for meters on the in-memory channel, with a scripted line of
// several meters behind it: what is found, what is unsure, what is never
// reported (a meter at an address it did not answer), late answers, the
// range, stopping, and the line going back to the link.

#include "../engine/EngineTest.h"
#include "../engine/FakeChannel.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "meter/MeterScan.h"

#include <QMap>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvar;
using namespace kelvar::link;
using kelvar::meter::MeterScan;
using kelvar::meter::ScannedMeter;
using kelvar::meter::ScanSettings;
using kelvar::test::FakeChannel;

namespace {

// How a meter of the scripted line misbehaves.
struct Quirks {
    int garbled = 0;           // this many replies leave with a wrong CRC
    bool garbledAlways = false;
    int delayMs = 0;           // every answer (echo too) comes this late
    int answers = -1;          // only this many replies, then silence (-1: no limit)
    int asAddress = -1;        // "MODBUS": replies carry this address instead of its own
};

// Meters on one line behind the in-memory channel: in "Rs-485" the address
// byte (sent at mark parity) wakes only its meter, which echoes it and
// answers the frame behind it; in "MODBUS" the address in the frame does.
class Line : public LineLender
{
public:
    FakeChannel channel;
    LineFormat format;
    QMap<int, Quirks> meters;  // by address
    QList<int> addressed;      // every address a request went to
    int lent = 0, returned = 0;
    bool refuse = false;

    explicit Line(Protocol protocol)
    {
        format = {protocol, 38400, 0};
        channel.responder = [this](const QByteArray &written, Parity parity) { return respond(written, parity); };
    }
    SerialChannel *lendLine() override
    {
        if (refuse)
            return nullptr;
        ++lent;
        channel.open();
        return &channel;
    }
    void takeLineBack() override { ++returned; }
    LineFormat lineFormat() const override { return format; }

    static quint32 numberOf(int address) { return 100000u + quint32(address); }

private:
    int m_addressed = -1; // "Rs-485": the meter the last address byte woke

    QByteArray respond(const QByteArray &written, Parity parity)
    {
        int address = -1;
        QByteArray frame;
        if (format.protocol == Protocol::Rs485) {
            if (written.size() == 1 && parity == Parity::Mark) {
                addressed << quint8(written[0]);
                m_addressed = meters.contains(quint8(written[0])) ? quint8(written[0]) : -1;
                if (m_addressed >= 0)
                    later(m_addressed, written);
                return {};
            }
            address = m_addressed;
            frame = written;
        } else {
            address = quint8(written[0]);
            addressed << address;
            frame = written.mid(1);
        }
        if (!meters.contains(address))
            return {};
        Quirks &q = meters[address];
        if (q.answers == 0)
            return {};
        if (q.answers > 0)
            --q.answers;
        QByteArray body;
        if (quint8(frame[0]) == fn::ReadVersion)
            body = QByteArray::fromHex("00070501011705"); // 517.01, software 1.5
        else
            body = QByteArray::fromHex("0105") + encodeSerialNumber(numberOf(address));
        QByteArray reply = format.protocol == Protocol::Rs485
                               ? AppendCrc(body)
                               : envelope(body, Protocol::Modbus, quint8(q.asAddress >= 0 ? q.asAddress : address));
        if (q.garbledAlways || (q.garbled > 0 && q.garbled--))
            reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);
        later(address, reply);
        return {};
    }
    void later(int address, const QByteArray &bytes)
    {
        QTimer::singleShot(meters[address].delayMs, &channel, [this, bytes] { channel.deliver(bytes); });
    }
};

using Meters = QMap<int, Quirks>;

ScannedMeter sure(int address)
{
    return {address, true, QStringLiteral("Kelvar 517.01"), QString::number(Line::numberOf(address)),
            QStringLiteral("1.5")};
}

// The scan on the line with a wait of 2 ms, so a slow answer is late.
QList<ScannedMeter> scan(Line &line, const ScanSettings &settings = {0, 255, 2000, 300})
{
    MeterScan scan(line);
    QSignalSpy found(&scan, &MeterScan::meterFound);
    QSignalSpy finished(&scan, &MeterScan::finished);
    if (!scan.start(settings))
        return {};
    if (!finished.wait(30000))
        return {};
    QList<ScannedMeter> reported;
    for (const QList<QVariant> &args : std::as_const(found))
        reported << args[0].value<ScannedMeter>();
    std::sort(reported.begin(), reported.end(),
              [](const ScannedMeter &a, const ScannedMeter &b) { return a.address < b.address; });
    // Every meter was reported as it was read, and the list holds just those.
    return reported == scan.meters() ? scan.meters() : QList<ScannedMeter>{};
}

} // namespace

Q_DECLARE_METATYPE(Meters)
Q_DECLARE_METATYPE(QList<kelvar::meter::ScannedMeter>)

class TestMeterScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<ScannedMeter>(); }

    void findsTheMetersOnTheLine_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<Meters>("meters");
        QTest::addColumn<QList<ScannedMeter>>("expected");
        const Meters four{{0, {}}, {17, {}}, {200, {}}, {255, {}}};
        const QList<ScannedMeter> all{sure(0), sure(17), sure(200), sure(255)};
        for (const Protocol p : {Protocol::Rs485, Protocol::Modbus}) {
            const auto row = [p](const char *what) -> QTestData & { return QTest::addRow("%s: %s", test::protocolName(p), what); };
            row("four meters") << p << four << all;
            Meters m = four;
            m[17].garbled = 1;
            row("one reply garbled") << p << m << all;
            m = four;
            m[17].garbledAlways = true;
            ScannedMeter garbled{17, false, {}, {}, {}};
            row("every reply garbled: unsure") << p << m << QList<ScannedMeter>{sure(0), garbled, sure(200), sure(255)};
            m = four;
            m[200].answers = 1;
            ScannedMeter once{200, false, QStringLiteral("Kelvar 517.01"), {}, QStringLiteral("1.5")};
            row("answered once, then not: unsure") << p << m << QList<ScannedMeter>{sure(0), sure(17), once, sure(255)};
            m = four;
            m[17].garbled = 1;
            m[17].answers = 1;
            // "Rs-485": the address echoes still say a meter is there.
            row("one garbled answer, then silence") << p << m
                << (p == Protocol::Rs485 ? QList<ScannedMeter>{sure(0), garbled, sure(200), sure(255)}
                                         : QList<ScannedMeter>{sure(0), sure(200), sure(255)});
            m = four;
            m[17].delayMs = 40;
            m[255].delayMs = 40;
            row("late answers tried again") << p << m << all;
        }
        Meters m = four;
        m[17].asAddress = 18;
        QTest::newRow("MODBUS: replies under another address: not listed")
            << Protocol::Modbus << m << QList<ScannedMeter>{sure(0), sure(200), sure(255)};
    }
    void findsTheMetersOnTheLine()
    {
        QFETCH(Protocol, protocol);
        QFETCH(Meters, meters);
        QFETCH(QList<ScannedMeter>, expected);
        Line line(protocol);
        line.meters = meters;
        QCOMPARE(scan(line), expected);
        QCOMPARE(line.lent, 1);
        QCOMPARE(line.returned, 1);
        // Every address was tried, in order, from the first.
        QCOMPARE(line.addressed.first(), 0);
        QVERIFY(line.addressed.contains(255));
    }

    void rangeAndRefusal()
    {
        Line line(Protocol::Modbus);
        line.meters = {{0, {}}, {17, {}}, {200, {}}};
        QCOMPARE(scan(line, {10, 20, 0, 300}), QList<ScannedMeter>{sure(17)});
        QCOMPARE(*std::min_element(line.addressed.cbegin(), line.addressed.cend()), 10);
        QCOMPARE(*std::max_element(line.addressed.cbegin(), line.addressed.cend()), 20);
        MeterScan refused(line);
        QVERIFY(!refused.start({20, 10}));
        line.refuse = true;
        QVERIFY(!refused.start({}));
        QCOMPARE(line.lent, 1);
    }

    // Stopping gives the line back at once with what was found so far.
    void stop()
    {
        Line line(Protocol::Rs485);
        line.meters = {{3, {}}, {200, {}}};
        MeterScan scan(line);
        QSignalSpy finished(&scan, &MeterScan::finished);
        connect(&scan, &MeterScan::meterFound, &scan, &MeterScan::stop);
        QVERIFY(scan.start({}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(scan.meters(), QList<ScannedMeter>{sure(3)});
        QCOMPARE(line.returned, 1);
        QVERIFY(!scan.isRunning());
    }

    // The wait follows the line's speed and is never below one character.
    void wait_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<qint64>("asked");
        QTest::addColumn<qint64>("waitUs");
        // The silent interval, one character and the allowance.
        QTest::newRow("4800, derived") << 4800 << qint64(0) << qint64(8021 + 2292 + MeterScan::DefaultAllowanceUs);
        QTest::newRow("38400, derived") << 38400 << qint64(0) << qint64(1750 + 287 + MeterScan::DefaultAllowanceUs);
        QTest::newRow("4800, asked 5 ms") << 4800 << qint64(5000) << qint64(5000);
        QTest::newRow("4800, asked below a character") << 4800 << qint64(100) << qint64(2292);
    }
    void wait()
    {
        QFETCH(int, baud);
        QFETCH(qint64, asked);
        QFETCH(qint64, waitUs);
        ScanSettings settings;
        settings.waitUs = asked;
        QCOMPARE(MeterScan::waitUs({Protocol::Modbus, baud, 0}, settings), waitUs);
    }
};

QTEST_GUILESS_MAIN(TestMeterScan)
#include "tst_meterscan.moc"
