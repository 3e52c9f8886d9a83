// kelvar517-cli: the command-line companion of the Kelvar 517 programming tool.

#include "cli/Commands.h"
#include "KelvarVersion.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>

int main(int argc, char *argv[])
{
    // Drawing pages needs fonts, so the record's command runs a GUI
    // application, on the offscreen platform unless another one is asked for:
    // it opens no window and needs no display.
    bool drawsPages = false;
    for (int i = 1; i < argc; ++i)
        drawsPages = drawsPages || qstrcmp(argv[i], "passport") == 0;
    std::unique_ptr<QCoreApplication> app;
    if (drawsPages) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvar"));
    QCoreApplication::setApplicationName(QStringLiteral("kelvar517-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kelvar::ProgramVersion));
    return kelvar::cli::run(QCoreApplication::arguments());
}
