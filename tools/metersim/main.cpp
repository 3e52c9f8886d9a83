// kelvar517-meter-sim: a simulated Kelvar 517 on a pseudo-terminal, for people
// and scripts. Prints the device path first, then serves until interrupted.

#include "MeterServer.h"
#include "Options.h"
#include "ScannerServer.h"
#include "KelvarVersion.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace kelvar::sim;

namespace {

int signalPipe[2] = {-1, -1};

// The signal number travels through the pipe: SIGUSR1 replaces the device,
// the others end the simulator.
void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void printLine(const QString &text, FILE *stream = stdout)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString error;
    if (!parseOptions(app.arguments().mid(1), &options, &error)) {
        printLine(QStringLiteral("kelvar517-meter-sim: %1 (see --help)").arg(error), stderr);
        return 2;
    }
    if (options.help) {
        printLine(usageText());
        return 0;
    }
    if (options.version) {
        printLine(QStringLiteral("kelvar517-meter-sim %1").arg(QLatin1String(kelvar::ProgramVersion)));
        return 0;
    }

    QList<StartingMeter> meters;
    if (!startingMeters(options, &meters, &error)) {
        printLine(QStringLiteral("kelvar517-meter-sim: %1").arg(error), stderr);
        return 1;
    }
    MeterServer server;
    for (int i = 0; i < meters.size(); ++i) {
        const int index = i == 0 ? 0 : server.addMeter(meters[i].state);
        if (i == 0)
            server.setState(meters[i].state);
        server.setFaults(meters[i].faults, index);
        server.setStateFile(meters[i].stateFile, index);
    }
    server.setDropAfter(options.dropAfter.value_or(0));
    if (options.verbose)
        server.setTrace([](const QString &line) { printLine(line, stderr); });
    if (!server.start(&error)) {
        printLine(QStringLiteral("kelvar517-meter-sim: %1").arg(error), stderr);
        return 1;
    }
    // The links exist before the paths are printed, so a script may use either at once.
    if (!options.linkPath.isEmpty() && !server.createLink(options.linkPath)) {
        printLine(QStringLiteral("kelvar517-meter-sim: cannot make the link %1").arg(options.linkPath), stderr);
        return 1;
    }

    printLine(server.devicePath());

    ScannerServer scanner;
    const auto ending = options.scanCrLf ? ScannerServer::LineEnding::CrLf : ScannerServer::LineEnding::Cr;
    std::unique_ptr<QSocketNotifier> input;
    if (options.scanner) {
        if (!scanner.start(&error)) {
            printLine(QStringLiteral("kelvar517-meter-sim: scanner: %1").arg(error), stderr);
            return 1;
        }
        if (!options.scannerLinkPath.isEmpty() && !scanner.createLink(options.scannerLinkPath)) {
            printLine(QStringLiteral("kelvar517-meter-sim: cannot make the link %1").arg(options.scannerLinkPath),
                      stderr);
            return 1;
        }
        printLine(scanner.devicePath());
        for (int i = 0; i < options.scanCodes.size(); ++i)
            QTimer::singleShot(1000 * (i + 1), &app, [&, code = options.scanCodes[i]] {
                scanner.sendCode(code, options.scanPieces, ending);
            });
        // Every line typed on the standard input is scanned as a code.
        input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
            if (n <= 0) {
                input->setEnabled(false); // end of input: keep serving
                return;
            }
            const QStringList lines = QString::fromLocal8Bit(buffer, n).split('\n', Qt::SkipEmptyParts);
            for (const QString &code : lines)
                if (!code.trimmed().isEmpty())
                    scanner.sendCode(code.trimmed(), options.scanPieces, ending);
        });
    }

    // Interrupted or terminated: stop cleanly so the state is saved.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
        std::signal(SIGUSR1, onSignal);
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
            char number = 0;
            if (::read(signalPipe[0], &number, 1) == 1 && number == SIGUSR1) {
                QString why;
                if (server.replaceDevice(&why))
                    printLine(server.devicePath());
                else
                    printLine(QStringLiteral("kelvar517-meter-sim: no new device: %1").arg(why), stderr);
                return;
            }
            QCoreApplication::quit();
        });
    }
    const int code = app.exec();
    scanner.stop();
    server.stop();
    return code;
}
