// kelvar517-cli: the command-line companion of the Kelvar 517 programming tool.

#include "cli/Commands.h"
#include "KelvarVersion.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvar"));
    QCoreApplication::setApplicationName(QStringLiteral("kelvar517-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kelvar::ProgramVersion));
    return kelvar::cli::run(QCoreApplication::arguments());
}
