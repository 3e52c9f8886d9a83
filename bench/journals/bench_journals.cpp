// Reads the settings journal with 256 entries from the simulated meter at
// 38400 baud with wire-time emulation, into the journals tab (offscreen), in
// both protocol types, with the request pause at 50 ms (the default send
// tick) and at 0, and prints: the total time against the wire-time limit and
// against L (that limit plus one silent interval per request), the machine's
// load average, and the interface thread's cost per response from acceptance
// to the end of its handling (decode, ordered insertion into the owner's
// table and the list view, chart), median and worst, over the whole read and
// over its last 32 responses (250 rows and more in the list); with --repeat,
// the best and the median multiple of L.
//
//   bench_journals [--entries N] [--pause MS]... [--repeat N]

#include "BenchFigures.h"
#include "app/tabs/JournalTab.h"
#include "journals/JournalOwner.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterState.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/Faults.h"
#include "metersim/MeterServer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

using namespace kelvar;
using journals::JournalKind;

namespace {

struct Figures {
    qint64 totalMs = 0;
    qint64 wireMs = 0;
    QList<qint64> costNs; // per response, in arrival order
    int rows = 0;
    bool ok = false;
};

double medianUs(QList<qint64> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2) / 1000.0;
}

double worstUs(const QList<qint64> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.cbegin(), v.cend()) / 1000.0;
}

Figures run(link::Protocol protocol, int entries, int pause)
{
    constexpr int BaudIndex = 3; // 38400
    sim::MeterServer meter;
    meter.updateState([&](sim::MeterState &s) {
        s.address = 1;
        s.protocol = protocol;
        s.baudIndex = BaudIndex;
    });
    sim::Faults faults;
    faults.wireBaud = -1;
    meter.setFaults(faults);
    QString error;
    if (!meter.start(&error))
        qFatal("simulated meter: %s", qPrintable(error));
    meter.updateState([&](sim::MeterState &s) {
        s.settingsJournal.clear();
        for (int i = 0; i < entries; ++i) // newest first, a day apart
            s.settingsJournal << sim::SettingsEntry{quint32(800000000 - i * 86400), quint8(i % 16), quint8(i)};
    });

    link::QSerialPortChannel port;
    link::ExchangeEngine engine(&port);
    meter::ResponseDispatcher dispatcher(engine);
    meter::MeterState state;
    engine.setPortName(meter.devicePath());
    engine.setProtocol(protocol);
    engine.setAddress(1);
    engine.setBaudIndex(BaudIndex);
    engine.setRequestPause(pause);

    Figures f;
    QElapsedTimer cost;
    QObject::connect(&dispatcher, &meter::ResponseDispatcher::responseAccepted, [&] { cost.start(); });
    journals::JournalOwner owner(engine, dispatcher, state);
    QWidget page;
    page.resize(792, 540);
    app::JournalTab tab(&page, engine, owner);
    page.show();
    for (int code = 0; code < 128; ++code) // the poll cycle's replies are accepted and ignored
        if (!dispatcher.hasOwner(code))
            dispatcher.registerOwner({code}, [](const QByteArray &, const QByteArray &) {});
    QObject::connect(&owner, &journals::JournalOwner::progress, [&](JournalKind, int value, int) {
        if (value > 0 && cost.isValid())
            f.costNs << cost.nsecsElapsed();
    });

    QEventLoop loop;
    QElapsedTimer total;
    QObject::connect(&owner, &journals::JournalOwner::finished, [&](JournalKind, bool ok, const QString &) {
        f.totalMs = total.elapsed();
        f.ok = ok;
        loop.quit();
    });
    bool started = false;
    QObject::connect(&engine, &link::ExchangeEngine::EnableControls, [&](bool on) {
        if (on && !started) {
            started = true;
            total.start();
            owner.startRead(JournalKind::Settings, {});
        }
    });
    engine.ActionConnectExecute();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    f.rows = page.findChild<QTreeWidget *>(QStringLiteral("ListSetting"))->topLevelItemCount();
    engine.ActionDisconnectExecute();
    meter.stop();

    // Per exchange: request 5 bytes (6 with the MODBUS address), reply 11 (12);
    // "Rs-485" adds the address byte and its echo.
    const qsizetype bytes = protocol == link::Protocol::Rs485 ? 1 + 1 + 5 + 11 : 6 + 12;
    f.wireMs = sim::wireTimeUs(bytes, 38400) * 256 / 1000;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"entries", "settings-journal entries in the meter (at most 256)", "N", "256"});
    bench::addPauseOption(parser);
    bench::addRepeatOption(parser);
    parser.process(app);
    const int entries = std::clamp(parser.value("entries").toInt(), 0, 256);
    const QList<int> pauses = bench::requestPauses(parser);
    const int repeat = bench::repeatCount(parser);
    const qint64 silentMs256 = 256 * link::silentIntervalUs(38400, sim::BitsPerCharacter) / 1000;

    QTextStream out(stdout);
    out << "Settings journal, 256 requests, " << entries << " entries, 38400 baud, wire-time emulation, " << repeat
        << " run(s) each\n";
    out << bench::startedLine() << "\n";
    QMap<QString, QList<double>> ratios;
    for (int round = 0; round < repeat; ++round) {
        for (int pause : pauses) {
            for (link::Protocol protocol : {link::Protocol::Rs485, link::Protocol::Modbus}) {
                const Figures f = run(protocol, entries, pause);
                const QList<qint64> last = f.costNs.mid(std::max<qsizetype>(0, f.costNs.size() - 32));
                const qint64 limitMs = f.wireMs + silentMs256;
                const QString name = QStringLiteral("%1 pause %2").arg(
                    protocol == link::Protocol::Rs485 ? "Rs-485" : "MODBUS").arg(pause, 2);
                ratios[name] << double(f.totalMs) / limitMs;
                out << name << ": " << (f.ok ? "complete" : "FAILED") << ", " << f.rows << " rows; total "
                    << f.totalMs << " ms, wire-time limit " << f.wireMs << " ms, L " << limitMs << " ms, "
                    << QString::number(double(f.totalMs) / limitMs, 'f', 2) << " x L, load "
                    << bench::loadNow() << "\n"
                    << "  interface thread per response (decode + insert + list + chart): median "
                    << QString::number(medianUs(f.costNs), 'f', 1) << " us, worst "
                    << QString::number(worstUs(f.costNs), 'f', 1) << " us; last 32 responses: median "
                    << QString::number(medianUs(last), 'f', 1) << " us, worst " << QString::number(worstUs(last), 'f', 1)
                    << " us\n";
                out.flush();
            }
        }
    }
    out << bench::ratiosLine(repeat) << "\n";
    for (auto it = ratios.cbegin(); it != ratios.cend(); ++it)
        out << it.key() << ": " << bench::bestAndMedian(it.value()) << '\n';
    return 0;
}
