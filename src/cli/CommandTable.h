#pragma once
// The command-line program's options and commands as a table, shared by the
// argument parsing (Arguments.cpp) and the commands themselves (Commands.cpp).

#include "cli/Password.h"
#include "cli/Session.h"
#include "link/LinkPacing.h"
#include "meter/SettingsBatch.h"
#include "meter/SettingsTemplate.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace kelvar::cli {

QTextStream &out();
QTextStream &err();

// The values --protocol and --parity take, in the order of the link's indexes.
const QStringList &protocolNames();
const QStringList &parityNames();

struct Options {
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("The meter's serial port (COM3, ttyUSB0, /dev/pts/4); repeated: several "
                                           "meters at once."),
                            QStringLiteral("NAME")};
    QCommandLineOption ports{QStringLiteral("ports"),
                             QStringLiteral("A file listing the meters' ports, one per line, each optionally "
                                            "followed by the meter's address: all of them at once."),
                             QStringLiteral("FILE")};
    QCommandLineOption production{QStringLiteral("production"),
                                  QStringLiteral("Record each completed write in the production database as the "
                                                 "window's production mode does (identifies workstation, operator "
                                                 "and plant first).")};
    QCommandLineOption keepClock{QStringLiteral("keep-clock"),
                                 QStringLiteral("With --production: leave the workstation clock as it is instead of "
                                                "setting it from the database server.")};
    QCommandLineOption protocol{QStringLiteral("protocol"), QStringLiteral("Protocol type: rs485 (default) or modbus."),
                                QStringLiteral("TYPE"), QStringLiteral("rs485")};
    QCommandLineOption parity{QStringLiteral("parity"), QStringLiteral("MODBUS parity: none (default), even or odd."),
                              QStringLiteral("PARITY"), QStringLiteral("none")};
    QCommandLineOption baud{QStringLiteral("baud"), QStringLiteral("Baud rate: 4800 (default), 9600, 19200 or 38400."),
                            QStringLiteral("RATE"), QStringLiteral("4800")};
    QCommandLineOption address{QStringLiteral("address"), QStringLiteral("The meter's address, 0..255 (default 0)."),
                               QStringLiteral("N"), QStringLiteral("0")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Response time-out in milliseconds, 200..30000 (default 500)."),
                               QStringLiteral("MS"), QStringLiteral("500")};
    QCommandLineOption pause{QStringLiteral("pause"),
                             QStringLiteral("The pause between requests in milliseconds, %1..%2 (default %3).")
                                 .arg(link::MinRequestPause)
                                 .arg(link::MaxRequestPause)
                                 .arg(link::DefaultRequestPause),
                             QStringLiteral("MS"), QString::number(link::DefaultRequestPause)};
    QCommandLineOption password{QStringLiteral("password"),
                                QStringLiteral("The meter's access password for writes (default %1). Every user of "
                                               "the machine can read it in the process list: prefer "
                                               "--password-file or the environment variable %2. A write given "
                                               "none of them asks on the terminal.")
                                    .arg(meter::defaultPasswordText(), QLatin1String(PasswordVariable)),
                                QStringLiteral("N"), meter::defaultPasswordText()};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("Read the access password from the first line of FILE."),
                                    QStringLiteral("FILE")};
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Talk to the built-in simulated meter instead of a serial port "
                                               "(where the program carries one).")};
    QCommandLineOption simulateMeters{QStringLiteral("simulate-meters"),
                                      QStringLiteral("As --simulate, with one simulated meter at each of these "
                                                     "addresses on one line (e.g. 0,17,200,255)."),
                                      QStringLiteral("LIST")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Write the protocol view (every byte sent and received) to standard "
                                            "error. It shows the access password as sent: only here, where "
                                            "it is asked for.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Print typed values as JSON.")};
    QCommandLineOption templateFile{QStringLiteral("template"), QStringLiteral("The settings template (INI)."),
                                    QStringLiteral("FILE")};
    QCommandLineOption from{QStringLiteral("from"), QStringLiteral("The first address to try, 0..255 (default 0)."),
                            QStringLiteral("N"), QStringLiteral("0")};
    QCommandLineOption to{QStringLiteral("to"), QStringLiteral("The last address to try, 0..255 (default 255)."),
                          QStringLiteral("N"), QStringLiteral("255")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            QStringLiteral("How long each address may take to begin its answer, in milliseconds, "
                                           "1..1000 (default: derived from the baud rate and character format)."),
                            QStringLiteral("MS")};
    QCommandLineOption year{QStringLiteral("year"), QStringLiteral("Yearly and daily journals: the year (default this year)."),
                            QStringLiteral("Y")};
    QCommandLineOption month{QStringLiteral("month"), QStringLiteral("Daily journal: the month, 1..12 (default this month)."),
                             QStringLiteral("M")};
    QCommandLineOption date{QStringLiteral("date"), QStringLiteral("Load profile: the day (default today)."),
                            QStringLiteral("YYYY-MM-DD")};
    QCommandLineOption outFile{QStringLiteral("out"),
                               QStringLiteral("The file to write: .xls, .xlsx or .csv by its extension; - for CSV "
                                              "on standard output."),
                               QStringLiteral("FILE")};
    QCommandLineOption scheduleOut{QStringLiteral("out"), QStringLiteral("The schedule file (.tsc) to write."),
                                   QStringLiteral("FILE")};
    QCommandLineOption reportOut{QStringLiteral("out"),
                                 QStringLiteral("The short report (text, Windows-1251) to write."),
                                 QStringLiteral("FILE")};
    QCommandLineOption recordOut{QStringLiteral("out"), QStringLiteral("The PDF file to write."),
                                 QStringLiteral("FILE.pdf")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};

    QList<QCommandLineOption> link() const
    {
        return {port,     ports,        protocol, parity,         baud, address, timeout,
                pause,    password,     passwordFile, simulate, simulateMeters, trace};
    }
};

struct Command {
    QString name;
    QString synopsis;
    QString description;
    QList<QCommandLineOption> options;  // besides the link options
    int words;                          // the words after the command's name
    int (*run)(const QCommandLineParser &, const Options &, const LinkOptions &);
};

// A bad argument: the message on standard error, exit code 3.
struct UsageError {
    QString message;
};

// The value of an option that must be a whole number from min to max.
int integerOption(const QCommandLineParser &p, const QCommandLineOption &o, int min, int max);
// The index of an option's value among choices (case-insensitive).
int choiceOption(const QCommandLineParser &p, const QCommandLineOption &o, const QStringList &choices);
// A warning on standard error when other users can read the file at path.
void warnReadable(const QString &path, const QString &what);
// The settings template --template names.
meter::SettingsTemplate templateOption(const QCommandLineParser &p, const Options &o);

// Every command of the program, in the order of the general help.
const QList<Command> &commands(const Options &o);

} // namespace kelvar::cli
