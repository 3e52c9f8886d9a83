// Scans the 256 addresses of a simulated line with four meters (0, 17, 200,
// 255; wire-time emulation on) over a pseudo-terminal, in both protocol types
// at 38400 and 4800 baud, and prints per run: the time, the floor (the wire
// time of every byte on the line, requests, echoes and replies, plus one
// silent interval before each exchange the scan opens), the time as a
// multiple of the floor, the limit (5 s at 38400, 25 s at 4800) and the
// meters found.
//
//   bench_scan [--repeat N]

#include "BenchFigures.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPacing.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterScan.h"
#include "metersim/MeterServer.h"
#include "support/ForwardingChannel.h"
#include "support/MeterStart.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>

using namespace kelvar;
using link::Protocol;

namespace {

const QList<int> Addresses{0, 17, 200, 255};

// Passes everything to the port and counts what goes over the line: the
// characters both ways and the exchanges the master opens (the "Rs-485"
// address byte, a whole "MODBUS" request), each of which waits out the
// silent interval first.
class CountingChannel : public test::ForwardingChannel
{
public:
    explicit CountingChannel(link::SerialChannel &inner) : ForwardingChannel(inner)
    {
        connect(&m_inner, &SerialChannel::bytesArrived, this, &SerialChannel::bytesArrived);
    }
    Protocol protocol = Protocol::Rs485;
    qint64 characters = 0;
    qint64 exchanges = 0;

    bool writeByte(quint8 byte) override
    {
        characters += 1;
        exchanges += protocol == Protocol::Rs485 ? 1 : 0;
        return m_inner.writeByte(byte);
    }
    bool write(const QByteArray &bytes) override
    {
        characters += bytes.size();
        exchanges += protocol == Protocol::Modbus ? 1 : 0;
        return m_inner.write(bytes);
    }
    QByteArray readAll() override
    {
        const QByteArray bytes = m_inner.readAll();
        characters += bytes.size();
        return bytes;
    }
};

struct Run {
    double seconds = 0;
    double floorSeconds = 0;
    int found = 0;
    bool exact = false; // exactly the four meters, each sure
};

Run scanOnce(Protocol protocol, int baudIndex)
{
    sim::MeterServer server;
    const bool started = test::startBus(server, Addresses, [&](sim::MeterState &s, sim::Faults &f) {
        s.protocol = protocol;
        s.baudIndex = baudIndex;
        s.parity = 0;
        f.wireBaud = -1;
    });
    if (!started)
        qFatal("no simulated line");

    link::QSerialPortChannel port;
    CountingChannel channel(port);
    channel.protocol = protocol;
    link::ExchangeEngine engine(&channel);
    engine.setPortName(server.devicePath());
    engine.setProtocol(protocol);
    engine.setBaudIndex(baudIndex);
    link::LineLender &line = engine;
    meter::MeterScan scan(line);
    QEventLoop loop;
    QObject::connect(&scan, &meter::MeterScan::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    if (!scan.start({}))
        qFatal("the line cannot be scanned");
    loop.exec();
    Run run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    const link::LineFormat format = line.lineFormat();
    run.floorSeconds = (format.wireUs(channel.characters) + channel.exchanges * format.silentUs()) / 1e6;
    run.found = int(scan.meters().size());
    QList<int> sure;
    for (const meter::ScannedMeter &m : scan.meters())
        if (m.sure && m.number == QString::number(100000 + m.address))
            sure << m.address;
    run.exact = sure == Addresses;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    bench::addRepeatOption(parser);
    parser.process(app);
    const int repeat = bench::repeatCount(parser);

    QTextStream out(stdout);
    out << "Scan of 256 addresses, meters at 0, 17, 200, 255, wire time on, " << repeat << " run(s) each\n";
    out << bench::startedLine() << "\n";
    out << "floor: wire time of every byte on the line plus one silent interval per exchange opened\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg("protocol", -8).arg("baud", 6).arg("time s", 14).arg("floor s", 8).arg("x floor", 14)
               .arg("limit s", 8).arg("found", 6).arg("load", 5);
    bool within = true;
    for (const Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
        for (const int baudIndex : {3, 0}) {
            QList<double> times;
            QList<double> ratios;
            double floor = 0;
            int found = 0;
            bool exact = true;
            for (int i = 0; i < repeat; ++i) {
                const Run run = scanOnce(protocol, baudIndex);
                times << run.seconds;
                ratios << run.seconds / run.floorSeconds;
                floor = run.floorSeconds;
                found = run.found;
                exact = exact && run.exact;
            }
            const double limit = baudIndex == 3 ? 5.0 : 25.0;
            within = within && *std::min_element(times.cbegin(), times.cend()) <= limit && exact;
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                       .arg(protocol == Protocol::Rs485 ? "Rs-485" : "MODBUS", -8)
                       .arg(link::baudRate(baudIndex), 6)
                       .arg(bench::bestAndMedian(times), 14)
                       .arg(floor, 8, 'f', 3)
                       .arg(bench::bestAndMedian(ratios, 1), 14)
                       .arg(limit, 8, 'f', 0)
                       .arg(exact ? QString::number(found) : QStringLiteral("%1!").arg(found), 6)
                       .arg(bench::loadNow(), 5);
            out.flush();
        }
    }
    out << (within ? "every scan within its limit, the four meters found\n" : "NOT within the limits\n");
    return 0;
}
