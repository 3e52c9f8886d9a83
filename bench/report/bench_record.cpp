// The programming record. First `passport` as kelvar517-cli runs it (the
// same Session and job, in process, so the wire time of every request can be
// counted): connect, one poll cycle, the whole schedule read and the PDF,
// against the simulated meter with wire-time emulation at 38400 baud and
// request pause 0, in both protocol types. Prints the time, L (every byte of
// requests, replies and address bytes at 11 bits per character, plus one
// silent interval per request: the least any program can take) and the
// ratio; the target is at most 1.2. Then the PDF of a 254-record schedule
// (96 day programmes) drawn alone; the target is under 1 s.
//
//   bench_record [RUNS]     (default 3; best and median are printed)

#include "BenchFigures.h"
#include "cli/MeterJobs.h"
#include "cli/Session.h"
#include "link/Catalogue.h"
#include "link/Frame.h"
#include "metersim/MeterServer.h"
#include "report/ProgrammingRecord.h"
#include "report/RecordDocument.h"
#include "schedule/Schedules.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kelvar;

namespace {

struct Figures {
    double totalMs = 0;
    double pdfMs = 0;
    qint64 limitUs = 0;
    int requests = 0;
    bool ok = false;
};

Figures passport(link::Protocol protocol, const QString &path)
{
    constexpr int Baud = 3; // 38400
    sim::MeterServer meter;
    meter.updateState([&](sim::MeterState &s) {
        s.address = 1;
        s.protocol = protocol;
        s.baudIndex = Baud;
        s.parity = protocol == link::Protocol::Modbus ? 1 : 0;
    });
    sim::Faults faults;
    faults.wireBaud = -1; // at the meter's own baud rate
    meter.setFaults(faults);
    QString error;
    if (!meter.start(&error))
        qFatal("simulated meter: %s", qPrintable(error));

    cli::LinkOptions options;
    options.port = meter.devicePath();
    options.protocol = protocol;
    options.parityIndex = protocol == link::Protocol::Modbus ? 1 : 0;
    options.baudIndex = Baud;
    options.address = 1;
    options.pause = 0;
    cli::Progress progress(false);
    cli::Session session(options, progress);
    Figures f;
    QObject::connect(&session.dispatcher(), &meter::ResponseDispatcher::responseAccepted,
                     [&](const QByteArray &response) {
                         // Request and reply with CRC, and two address bytes (in
                         // front of both frames, or sent and echoed).
                         f.limitUs += sim::wireTimeUs(session.engine().currentFrame().size() + 2 + response.size() + 2,
                                                      link::baudRate(Baud))
                             + link::silentIntervalUs(link::baudRate(Baud), sim::BitsPerCharacter);
                         ++f.requests;
                     });
    QElapsedTimer clock;
    clock.start();
    f.ok = cli::passportMeter(session, path, &error) == cli::ExitOk;
    f.totalMs = clock.nsecsElapsed() / 1e6;
    if (!f.ok)
        qWarning("%s %s", qPrintable(session.error()), qPrintable(error));
    meter.stop();
    return f;
}

report::ProgrammingRecord bigRecord()
{
    QList<schedule::ZoneRecord> records;
    for (const QByteArray &bytes : bench::distinctRecords())
        records << *schedule::decodeRecord(bytes);
    report::ProgrammingRecord r;
    r.serialNumber = QStringLiteral("123456");
    r.programmes = report::dayProgrammes(records, &r.cellProgramme);
    r.holidays = schedule::defaultHolidays();
    r.context = report::thisWorkstation();
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = qBound(1, app.arguments().value(1, QStringLiteral("3")).toInt(), 20);
    QTextStream out(stdout);
    out << "bench_record, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", load " << bench::loadAverage()
        << "\n\npassport at 38400 baud, pause 0 (connect, poll cycle, schedule read, PDF)\n";
    QTemporaryDir dir;
    for (const auto protocol : {link::Protocol::Rs485, link::Protocol::Modbus}) {
        QList<double> ratios;
        Figures last;
        for (int i = 0; i < runs; ++i) {
            last = passport(protocol, dir.filePath(QStringLiteral("record.pdf")));
            if (!last.ok)
                return 1;
            ratios << last.totalMs * 1000.0 / last.limitUs;
        }
        out << QStringLiteral("  %1: %2 requests, last run %3 ms, L %4 ms; x L best / median %5\n")
                   .arg(protocol == link::Protocol::Modbus ? "MODBUS" : "Rs-485", 7)
                   .arg(last.requests)
                   .arg(last.totalMs, 0, 'f', 0)
                   .arg(last.limitUs / 1000.0, 0, 'f', 0)
                   .arg(bench::bestAndMedian(ratios));
        out.flush();
    }

    const report::ProgrammingRecord record = bigRecord();
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!report::writeRecordPdf(record, dir.filePath(QStringLiteral("big.pdf"))))
            return 1;
        ms << clock.nsecsElapsed() / 1e6;
    }
    out << "\nPDF of a 254-record schedule (" << record.programmes.size() << " day programmes): ms best / median "
        << bench::bestAndMedian(ms, 0) << ", size " << QFileInfo(dir.filePath(QStringLiteral("big.pdf"))).size() / 1024
        << " KiB\n";
    return 0;
}
