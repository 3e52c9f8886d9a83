// A production bench in a process of its own, for the concurrency test: it
// identifies itself as the workstation named on the command line, says
// "ready", waits for a line on standard input and then records one settings
// write per meter number as fast as the server takes them. Each record
// carries its meter's address (the number minus the first number of the
// test), so the test can tell whose detail row ended up under which operation.
//
//   dbrecorder COMPUTER FIRST COUNT BASE
//
// Exit 0 when every record was written; else the messages on standard error.

#include "db/ProductionDb.h"
#include "db/ProductionSession.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

using namespace kelvar;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 3;
    const QString computer = args.at(1);
    const quint32 first = args.at(2).toUInt();
    const quint32 count = args.at(3).toUInt();
    const quint32 base = args.at(4).toUInt();

    db::ProductionDb database;
    db::ProductionSession session(database);
    QObject::connect(&session, &db::ProductionSession::message,
                     [](db::ProductionSession::Icon, const QString &title, const QString &text) {
                         std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
                     });
    session.setWorkstation(computer, platform::userName());
    if (session.FormActivate() != db::ProductionSession::Check::Passed)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);

    int failed = 0;
    for (quint32 number = first; number < first + count; ++number) {
        meter::SettingsValues values;
        values.writeLink = true;
        values.newAddress = int(number - base);
        db::MeterSnapshot shown;
        shown.version = QStringLiteral("5.17");
        shown.type = QStringLiteral("Kelvar 517.01");
        if (session.RecordSettingsOperation(number, 0, values, shown) != db::ProductionSession::Record::Recorded)
            ++failed;
    }
    return failed == 0 ? 0 : 1;
}
