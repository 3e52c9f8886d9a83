// A full schedule read (the coefficient and 288 slot requests) and a full
// write (254 records behind the password, the clears, the coefficient and the
// twelve default holidays) against the simulated meter over a pseudo-terminal
// with wire-time emulation, at 4800 and 38400 baud in both protocol types,
// with the request pause at 50 ms (the default send tick) and at 0.
// Prints per run the total time, the wire-time limit (every byte of requests,
// replies and address bytes at 11 bits per character), L (the wire-time
// limit plus one silent interval per request, the least any engine can
// take), the total as a multiple of L, the lower bound the 50 ms send tick
// sets (one tick per request) and the machine's load average; then the
// best and the median multiple of L over the runs.
//
//   bench_schedule_exchange [--turnaround MS] [--pause MS]... [--repeat N]

#include "BenchFigures.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterInfo.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/MeterServer.h"
#include "schedule/ScheduleExchange.h"
#include "schedule/Tables.h"
#include "schedule/ZoneRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

using namespace kelvar;
using link::Protocol;

namespace {

struct Figures {
    qint64 totalMs = 0;
    qint64 wireUs = 0;
    int requests = 0;
    bool ok = false;
};

// 254 records of distinct start times, every day type and month.
schedule::ScheduleImage fullImage()
{
    schedule::ScheduleImage image;
    image.holidayTable = schedule::encodeHolidayTable(schedule::defaultHolidays());
    image.transferTable = schedule::encodeTransferTable({});
    image.limitCoefficient = 1;
    for (int n = 0; n < schedule::MaxMeterRecords; ++n) {
        schedule::ZoneRecord r;
        r.zone.start = n * 5;
        r.zone.tariff = quint8(1 + n % 3);
        r.zone.exceedTariff = r.zone.tariff;
        r.dayMask = schedule::AllDayTypes;
        r.monthMask = schedule::AllMonths;
        image.records << schedule::encodeRecord(r);
    }
    return image;
}

Figures run(Protocol protocol, int baudIndex, bool write, int pause, int turnaroundMs)
{
    sim::MeterServer meter;
    meter.updateState([&](sim::MeterState &s) {
        s.address = 1;
        s.protocol = protocol;
        s.baudIndex = baudIndex;
        s.parity = protocol == Protocol::Modbus ? 1 : 0;
    });
    sim::Faults faults;
    faults.wireBaud = -1; // at the meter's own baud rate
    faults.turnaroundMs = turnaroundMs;
    meter.setFaults(faults);
    QString error;
    if (!meter.start(&error))
        qFatal("simulated meter: %s", qPrintable(error));

    link::QSerialPortChannel port;
    link::ExchangeEngine engine(&port);
    meter::ResponseDispatcher dispatcher(engine);
    meter::MeterState state;
    meter::MeterInfo info(state);
    // Every other reply (the password's among them) is simply taken.
    QList<int> codes;
    for (int code = 0; code < 128; ++code)
        if (link::isKnownCommand(code))
            codes << code;
    dispatcher.registerOwner(codes, [&](const QByteArray &response, const QByteArray &) {
        if (quint8(response[0]) == link::fn::Password)
            state.PasswordAccepted = true;
    });
    schedule::ScheduleExchange exchange(engine, dispatcher, state);
    meter::registerMeterInfo(dispatcher, info, exchange.recordReplies());
    engine.setPortName(meter.devicePath());
    engine.setProtocol(protocol);
    engine.setParityIndex(protocol == Protocol::Modbus ? 1 : 0);
    engine.setAddress(1);
    engine.setBaudIndex(baudIndex);
    engine.setTimeout(2000);
    engine.setRequestPause(pause);

    Figures f;
    QElapsedTimer total;
    bool started = false;
    QObject::connect(&dispatcher, &meter::ResponseDispatcher::responseAccepted, [&](const QByteArray &response) {
        if (!started) {
            // The first poll reply: the link is up; the batch goes in behind the next request.
            started = true;
            const auto start = write ? exchange.startWrite(fullImage(), QStringLiteral("1")) : exchange.startRead();
            if (start != schedule::ScheduleExchange::Start::Started)
                qFatal("not started: %s", qPrintable(exchange.refusalText()));
            total.start();
            return;
        }
        const QByteArray frame = engine.currentFrame();
        const int code = quint8(frame[0]);
        const bool batch = code == link::fn::Password || schedule::ScheduleExchange::codes().contains(code)
            || (code == link::fn::ReadSchedule && frame.size() == 3);
        if (!exchange.isBusy() || !batch)
            return;
        // Request and reply with their CRC, plus two address bytes: in front of
        // both frames ("MODBUS"), or sent and echoed ("Rs-485").
        f.wireUs += sim::wireTimeUs(frame.size() + 2 + response.size() + 2, link::baudRate(baudIndex));
        ++f.requests;
    });
    QObject::connect(&exchange, &schedule::ScheduleExchange::finished, [&](bool ok, const QString &error) {
        f.totalMs = total.elapsed();
        f.ok = ok;
        if (!ok)
            qWarning("%s", qPrintable(error));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    if (!engine.ActionConnectExecute())
        qFatal("cannot open %s", qPrintable(meter.devicePath()));
    QTimer::singleShot(600000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    engine.ActionDisconnectExecute();
    meter.stop();
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"turnaround", "The meter's pause before each reply, ms.", "MS", "0"});
    bench::addPauseOption(parser);
    bench::addRepeatOption(parser);
    parser.process(app);
    const int turnaround = qMax(0, parser.value("turnaround").toInt());
    const QList<int> pauses = bench::requestPauses(parser);
    const int repeat = bench::repeatCount(parser);

    QTextStream out(stdout);
    out << "Schedule exchange, meter turnaround " << turnaround << " ms, " << sim::BitsPerCharacter
        << " bits per character, " << repeat << " run(s) each; tick floor: one 50 ms send tick per request\n";
    out << "L: the wire-time limit plus one silent interval (3.5 characters, 1.75 ms above 19200 baud) per request\n";
    out << bench::startedLine() << "\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
               .arg("batch", -6).arg("protocol", -8).arg("baud", 6).arg("pause", 5).arg("requests", 9)
               .arg("total ms", 9).arg("wire ms", 8).arg("L ms", 8).arg("x L", 6).arg("tick floor", 11)
               .arg("load", 5);
    struct Row {
        bool write;
        Protocol protocol;
        int baudIndex;
        int pause;
        QList<double> ratios;
    };
    QList<Row> rows;
    for (int pause : pauses)
        for (bool write : {false, true})
            for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus})
                for (int baudIndex : {0, 3})
                    rows.append({write, protocol, baudIndex, pause, {}});
    const auto name = [](const Row &row) {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(row.write ? "write" : "read", -6)
            .arg(row.protocol == Protocol::Rs485 ? "Rs-485" : "MODBUS", -8)
            .arg(link::baudRate(row.baudIndex), 6)
            .arg(row.pause, 5);
    };
    for (int round = 0; round < repeat; ++round) {
        for (Row &row : rows) {
            const Figures f = run(row.protocol, row.baudIndex, row.write, row.pause, turnaround);
            const int baud = link::baudRate(row.baudIndex);
            const qint64 limitUs = f.wireUs + f.requests * link::silentIntervalUs(baud, sim::BitsPerCharacter);
            const double ratio = limitUs > 0 ? f.totalMs * 1000.0 / limitUs : 0;
            row.ratios << ratio;
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8%9\n")
                       .arg(name(row))
                       .arg(f.requests, 9)
                       .arg(f.totalMs, 9)
                       .arg(f.wireUs / 1000.0, 8, 'f', 1)
                       .arg(limitUs / 1000.0, 8, 'f', 1)
                       .arg(ratio, 6, 'f', 2)
                       .arg(f.requests * link::ExchangeEngine::CommandInterval, 11)
                       .arg(bench::loadNow(), 5)
                       .arg(f.ok ? "" : "  (failed)");
            out.flush();
        }
    }
    out << bench::ratiosLine(repeat) << "\n";
    for (const Row &row : std::as_const(rows))
        out << name(row) << ": " << bench::bestAndMedian(row.ratios) << '\n';
    return 0;
}
