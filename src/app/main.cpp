// The programming tool for the Kelvar 517 meter.

#include "app/Icons.h"
#include "app/TFormMain.h"
#include "db/ClockSetter.h"
#include "simulation/SimulatedMeter.h"
#include "KelvarVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

using namespace kelvar;

int main(int argc, char *argv[])
{
    // Answered before the window system is reached, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kelvar517 %s\n", ProgramVersion);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kelvar"));
    QApplication::setApplicationName(QStringLiteral("Kelvar-517"));
    QApplication::setApplicationVersion(QString::fromLatin1(ProgramVersion));
    QApplication::setWindowIcon(app::appIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Programs and reads the Kelvar 517 electricity meter."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("version"), QStringLiteral("Print the version and exit.")});
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Use the serial port NAME (COM3, ttyUSB0, /dev/pts/4)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption connect(QStringLiteral("connect"), QStringLiteral("Connect to the meter at start."));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      simulation::simulatedMeterAvailable()
                                          ? QStringLiteral("Start a simulated meter on a pseudo-terminal and connect to it.")
                                          : QStringLiteral("Not available: this build has no simulated meter."));
    const QCommandLineOption simulateMeters(QStringLiteral("simulate-meters"),
                                            QStringLiteral("As --simulate, with one simulated meter at each of these "
                                                           "addresses on one line (e.g. 0,17,200,255)."),
                                            QStringLiteral("LIST"));
    parser.addOption(port);
    parser.addOption(connect);
    parser.addOption(simulate);
    parser.addOption(simulateMeters);
    parser.process(app);

    app::StartOptions options;
    // Production mode sets the workstation clock from the database server.
    db::SystemClockSetter systemClock;
    options.clock = &systemClock;
    options.portName = parser.value(port);
    options.connect = parser.isSet(connect);

    std::unique_ptr<simulation::SimulatedMeter> meter;
    if (parser.isSet(simulate) || parser.isSet(simulateMeters)) {
        QString error;
        QList<int> addresses;
        if (parser.isSet(simulateMeters)
            && (addresses = simulation::parseMeterAddresses(parser.value(simulateMeters), &error)).isEmpty()) {
            std::fprintf(stderr, "--simulate-meters: %s\n", qPrintable(error));
            return 2;
        }
        meter = simulation::startSimulatedMeter(&error, addresses);
        if (!meter) {
            QMessageBox::critical(nullptr, QStringLiteral("Ошибка"),
                                  QStringLiteral("Не удалось запустить имитатор счетчика: ") + error);
            return 1;
        }
        options.portName = meter->devicePath();
        options.connect = true;
        options.temporaryPort = true;
    }

    app::TFormMain form(options);
    if (meter)
        meter->matchLinkParameters(form.engine());
    form.show();
    const int result = app.exec();
    return result;
}
