// kelvar517-cli write --template on eight meters at once against one meter
// alone: eight simulated meters on eight pseudo-terminals with the wire time
// of 9600 baud. Prints the times, their ratio (the target is at most 1.3),
// whether every meter ended equal to the template, and the table of a run in
// which one meter is silent and one refuses the access password.
//
//   bench_cli_multiport [RUNS]     (default 3; best and median are printed)

#include "BenchFigures.h"
#include "metersim/MeterServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>
#include <vector>

using namespace kelvar;

namespace {

constexpr int Meters = 8;
constexpr int StartAddress = 1;
const char *const Template = "protocol = rs485\n"
                             "address = 42\n"
                             "baud = 9600\n"
                             "billing_day = 25\n"
                             "billing_hour = 17\n"
                             "display = billing, power\n"
                             "peak_minutes = 15\n"
                             "penalty_seconds = 20\n"
                             "clock = workstation\n"
                             "summer_time = no\n";

struct Result {
    int code = -1;
    double seconds = 0;
    QByteArray out;
};

Result runCli(const QStringList &args)
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(KELVAR_CLI_PATH), args);
    p.waitForFinished(600000);
    Result r;
    r.seconds = clock.elapsed() / 1000.0;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    if (r.code != 0)
        r.out += p.readAllStandardError();
    return r;
}

// Every meter back at the factory link and settings, with its own number.
void resetMeters(std::vector<std::unique_ptr<sim::MeterServer>> &meters)
{
    for (size_t i = 0; i < meters.size(); ++i) {
        meters[i]->setFaults([] {
            sim::Faults f;
            f.wireBaud = -1;   // the wire time of the meter's own baud rate
            return f;
        }());
        meters[i]->updateState([i](sim::MeterState &s) {
            s.serialNumber = quint32(40001 + i);
            s.address = StartAddress;
            s.baudIndex = 1;
            s.password = sim::DefaultPassword;
            s.billingDay = 1;
            s.billingHour = 0;
            s.displayMask = 0x0D;
            s.integrationMinutes = 30;
            s.averagingSeconds = 10;
        });
    }
}

bool equalsTemplate(const sim::MeterState &s)
{
    return s.address == 42 && s.baudIndex == 1 && s.billingDay == 25 && s.billingHour == 17 && s.displayMask == 0x0A
        && s.integrationMinutes == 15 && s.averagingSeconds == 20;
}

QStringList writeArgs(const QString &tpl, const std::vector<std::unique_ptr<sim::MeterServer>> &meters, int count)
{
    QStringList args{"write", "--template", tpl, "--baud", "9600", "--address", QString::number(StartAddress)};
    for (int i = 0; i < count; ++i)
        args << "--port" << meters[size_t(i)]->devicePath();
    return args;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString tpl = dir.filePath(QStringLiteral("rack.ini"));
    {
        QFile f(tpl);
        f.open(QIODevice::WriteOnly);
        f.write(Template);
    }
    std::vector<std::unique_ptr<sim::MeterServer>> meters;
    for (int i = 0; i < Meters; ++i) {
        meters.push_back(std::make_unique<sim::MeterServer>());
        QString error;
        if (!meters.back()->start(&error)) {
            out << "cannot start a simulated meter: " << error << "\n";
            return 1;
        }
    }

    out << "write --template on " << Meters << " meters at once against one alone, wire time at 9600 baud\n";
    out << "date " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", load before " << bench::loadAverage()
        << ", " << runs << " runs\n";
    QList<double> alone;
    QList<double> all;
    QList<double> ratios;
    bool allEqual = true;
    for (int run = 0; run < runs; ++run) {
        resetMeters(meters);
        const Result one = runCli(writeArgs(tpl, meters, 1));
        resetMeters(meters);
        const Result eight = runCli(writeArgs(tpl, meters, Meters) << "--json");
        bool equal = one.code == 0 && eight.code == 0;
        for (const auto &m : meters)
            equal = equal && equalsTemplate(m->state());
        const QJsonArray outcomes = QJsonDocument::fromJson(eight.out).array();
        for (const QJsonValue &o : outcomes)
            equal = equal && o[QStringLiteral("result")].toString() == QStringLiteral("ok");
        allEqual = allEqual && equal && outcomes.size() == Meters;
        alone << one.seconds;
        all << eight.seconds;
        ratios << eight.seconds / one.seconds;
        out << QStringLiteral("run %1: one meter %2 s, %3 meters %4 s, ratio %5, every meter equals the template: %6\n")
                   .arg(run + 1)
                   .arg(one.seconds, 0, 'f', 2)
                   .arg(Meters)
                   .arg(eight.seconds, 0, 'f', 2)
                   .arg(ratios.last(), 0, 'f', 2)
                   .arg(equal ? "yes" : "NO");
        out.flush();
    }
    out << "one meter (best / median): " << bench::bestAndMedian(alone) << " s\n";
    out << Meters << " meters (best / median): " << bench::bestAndMedian(all) << " s\n";
    out << "ratio (best / median): " << bench::bestAndMedian(ratios) << " (target at most 1.30)\n";
    out << "every final state equals the template: " << (allEqual ? "yes" : "NO") << "\n";

    // One meter silent, one refusing the access password.
    resetMeters(meters);
    sim::Faults silent;
    silent.silent = true;
    silent.wireBaud = -1;
    meters[6]->setFaults(silent);
    meters[7]->updateState([](sim::MeterState &s) { s.password = 7; });
    // Switched off and on: write access left open by the runs above closes.
    meters[7]->stop();
    if (QString error; !meters[7]->start(&error))
        out << "cannot restart a simulated meter: " << error << "\n";
    const Result faulty = runCli(writeArgs(tpl, meters, Meters));
    out << "\none silent, one refusing the password: exit code " << faulty.code << ", " << faulty.seconds << " s\n"
        << faulty.out;
    out << "load after " << bench::loadAverage() << "\n";
    return 0;
}
