// Start-up to a shown, polling window: the simulated meter starts on a
// pseudo-terminal, the main window is built, shown and connects; the figures
// are the times until the window is shown, until the first meter reply is on
// screen and until the whole poll cycle has filled the information tab.
// Run offscreen (QT_QPA_PLATFORM=offscreen) or on a display.
// KELVAR_SCREENSHOT=file.png saves the window of the first run.

#include "app/TFormMain.h"
#include "simulation/Simulation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>

using namespace kelvar;

namespace {

struct Figures {
    double shown = 0, firstReply = 0, fullCycle = 0;
};

// Runs the event loop until the condition holds or the time is up.
template <typename Condition>
bool waitFor(Condition condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool allRowsShown(const QTableWidget *list, const QStringList &captions)
{
    for (int row = 0; row < captions.size(); ++row) {
        if (!captions[row].isEmpty() && row != meter::MeterInfo::RowCalibrated
            && list->item(row, 1)->text().isEmpty())
            return false;
    }
    return true;
}

Figures runOnce(bool wireTime)
{
    Figures f;
    QElapsedTimer clock;
    clock.start();
    QString error;
    std::unique_ptr<sim::MeterServer> meter = simulation::startSimulatedMeterServer(&error);
    if (!meter)
        qFatal("simulated meter: %s", qPrintable(error));
    if (wireTime) {
        sim::Faults faults;
        faults.wireBaud = -1; // bytes take their time on the line at the meter's baud rate
        meter->setFaults(faults);
    }
    app::StartOptions options;
    options.portName = meter->devicePath();
    options.connect = true;
    app::TFormMain form(options);
    form.setMessageHandler([](QMessageBox::Icon, const QString &, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });
    simulation::matchLinkParameters(*meter, form.engine());
    form.show();
    waitFor([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000);
    f.shown = clock.nsecsElapsed() / 1e6;

    const auto *main = form.findChild<QTableWidget *>(QStringLiteral("ListMain"));
    const auto *addi = form.findChild<QTableWidget *>(QStringLiteral("ListAddi"));
    waitFor([&] { return !main->item(meter::MeterInfo::RowType, 1)->text().isEmpty(); }, 30000);
    f.firstReply = clock.nsecsElapsed() / 1e6;
    waitFor([&] {
        return allRowsShown(main, meter::MeterInfo::mainCaptions()) && allRowsShown(addi, meter::MeterInfo::addiCaptions());
    }, 60000);
    f.fullCycle = clock.nsecsElapsed() / 1e6;
    // KELVAR_SCREENSHOT=file.png keeps a picture of the filled window (the README's).
    const QString shot = qEnvironmentVariable("KELVAR_SCREENSHOT");
    if (!shot.isEmpty() && !QFileInfo::exists(shot))
        form.grab().save(shot);
    form.close();
    return f;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *title, bool wireTime, int runs)
{
    QList<double> shown, first, full;
    for (int i = 0; i < runs; ++i) {
        const Figures f = runOnce(wireTime);
        shown << f.shown;
        first << f.firstReply;
        full << f.fullCycle;
    }
    std::printf("%s (median of %d runs)\n", title, runs);
    std::printf("  window built and shown:         %8.1f ms\n", median(shown));
    std::printf("  first meter reply on screen:    %8.1f ms\n", median(first));
    std::printf("  whole poll cycle on screen:     %8.1f ms\n", median(full));
}

} // namespace

int main(int argc, char *argv[])
{
    // Settings of the runs stay in a folder of their own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QElapsedTimer process;
    process.start();
    QApplication app(argc, argv);
    std::printf("QApplication created:             %8.1f ms\n", process.nsecsElapsed() / 1e6);
    report("Start-up to a polling window, pseudo-terminal at full speed", false, 5);
    report("Start-up to a polling window, wire time of 4800 baud", true, 3);
    return 0;
}
