// The command line taken apart (the command named, its options, help) and the
// program run with it; the commands themselves are in Commands.cpp.

#include "Commands.h"

#include "cli/CommandTable.h"
#include "cli/MultiPort.h"
#include "simulation/SimulatedMeter.h"
#include "KelvarVersion.h"

#include <QFile>

namespace kelvar::cli {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

const QStringList &protocolNames()
{
    static const QStringList names{QStringLiteral("rs485"), QStringLiteral("modbus")};
    return names;
}

const QStringList &parityNames()
{
    static const QStringList names{QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")};
    return names;
}

int integerOption(const QCommandLineParser &p, const QCommandLineOption &o, int min, int max)
{
    bool ok = false;
    const int value = p.value(o).toInt(&ok);
    if (!ok || value < min || value > max)
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a whole number from %3 to %4")
                             .arg(o.names().constLast(), p.value(o))
                             .arg(min)
                             .arg(max)};
    return value;
}

int choiceOption(const QCommandLineParser &p, const QCommandLineOption &o, const QStringList &choices)
{
    const int index = choices.indexOf(p.value(o).toLower());
    if (index < 0)
        throw UsageError{QStringLiteral("--%1: \"%2\" is not one of %3")
                             .arg(o.names().constLast(), p.value(o), choices.join(QStringLiteral(", ")))};
    return index;
}

namespace {

LinkOptions linkOptions(const QCommandLineParser &p, const Options &o)
{
    LinkOptions link;
    for (const QString &name : p.values(o.port))
        link.ports << PortTarget{name, std::nullopt};
    if (p.isSet(o.ports)) {
        QFile file(p.value(o.ports));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            throw UsageError{QStringLiteral("--ports: %1: %2").arg(file.fileName(), file.errorString())};
        QString error;
        const auto listed = parsePortsList(QString::fromUtf8(file.readAll()), &error);
        if (!listed)
            throw UsageError{QStringLiteral("--ports: %1: %2").arg(file.fileName(), error)};
        link.ports << *listed;
    }
    for (int i = 0; i < link.ports.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            if (link.ports.at(j).port == link.ports.at(i).port)
                throw UsageError{QStringLiteral("the port %1 is given twice").arg(link.ports.at(i).port)};
        }
    }
    link.port = link.ports.isEmpty() ? QString() : link.ports.first().port;
    // One port alone is the single meter of the plain commands.
    if (link.ports.size() == 1 && !p.isSet(o.ports))
        link.ports.clear();
    const bool simulate = p.isSet(o.simulate) || p.isSet(o.simulateMeters);
    if (link.port.isEmpty() && !simulate)
        throw UsageError{QStringLiteral("--port is needed: the meter's serial port (or --simulate)")};
    if (!link.port.isEmpty() && simulate)
        throw UsageError{QStringLiteral("--port and --simulate exclude each other")};
    if (!link.ports.isEmpty() && p.isSet(o.trace))
        throw UsageError{QStringLiteral("--trace follows one port only")};
    link.protocol = choiceOption(p, o.protocol, protocolNames()) == 1 ? link::Protocol::Modbus : link::Protocol::Rs485;
    link.parityIndex = choiceOption(p, o.parity, parityNames());
    link.baudIndex = choiceOption(p, o.baud, meter::baudTexts());
    link.address = integerOption(p, o.address, 0, 255);
    link.timeout = integerOption(p, o.timeout, 200, 30000);
    link.pause = integerOption(p, o.pause, link::MinRequestPause, link::MaxRequestPause);
    link.password = p.value(o.password);
    if (p.isSet(o.password) && p.isSet(o.passwordFile))
        throw UsageError{QStringLiteral("--password and --password-file exclude each other")};
    return link;
}

} // namespace

void warnReadable(const QString &path, const QString &what)
{
    if (readableByOthers(path))
        err() << QStringLiteral("warning: %1 holds %2 and other users of this machine can read it "
                                "(chmod 600 \"%1\")")
                     .arg(path, what)
              << Qt::endl;
}

namespace {

// Whether the command writes to the meter (and so sends the access password).
bool writesToMeter(const QCommandLineParser &p)
{
    const QStringList words = p.positionalArguments();
    return words.value(0) == QStringLiteral("write")
        || (words.value(0) == QStringLiteral("schedule") && words.value(1) == QStringLiteral("write"));
}

// The access password from the first source given: --password, --password-file,
// the environment; else a write on a terminal asks for it; else the default.
QString accessPassword(const QCommandLineParser &p, const Options &o)
{
    if (p.isSet(o.password))
        return p.value(o.password);
    if (p.isSet(o.passwordFile)) {
        const QString path = p.value(o.passwordFile);
        QString error;
        const std::optional<QString> fromFile = readPasswordFile(path, &error);
        if (!fromFile)
            throw UsageError{error};
        warnReadable(path, QStringLiteral("the access password"));
        return *fromFile;
    }
    if (qEnvironmentVariableIsSet(PasswordVariable))
        return qEnvironmentVariable(PasswordVariable);
    if (writesToMeter(p)) {
        const std::optional<QString> typed = askOnTerminal(
            QStringLiteral("Access password (Enter: %1): ").arg(meter::defaultPasswordText()));
        if (typed && !typed->isEmpty())
            return *typed;
    }
    return meter::defaultPasswordText();
}

} // namespace

meter::SettingsTemplate templateOption(const QCommandLineParser &p, const Options &o)
{
    if (!p.isSet(o.templateFile))
        throw UsageError{QStringLiteral("--template FILE is needed")};
    QString error;
    const auto tpl = meter::loadTemplate(p.value(o.templateFile), &error);
    if (!tpl)
        throw UsageError{error};
    return *tpl;
}

namespace {

QString exitCodesText()
{
    return QStringLiteral("Exit codes: 0 done; 1 the meter said no or its values differ from the template "
                          "(with --production also: not recorded, or the workstation is not described); "
                          "2 the port cannot be opened or the meter does not answer; 3 bad arguments or files. "
                          "Several meters: the highest code of any.\n");
}

QString generalHelp(const Options &o)
{
    QString text = QStringLiteral("Usage: kelvar517-cli COMMAND --port NAME [link options] [command options]\n\n"
                                  "Reads and programs a Kelvar 517 meter from the command line.\n\nCommands:\n");
    for (const Command &c : commands(o))
        text += QStringLiteral("  %1\n").arg(c.synopsis);
    text += QStringLiteral("\nWith several --port options (or --ports FILE) info, write, compare, journal and "
                           "schedule write work on all those meters at once and end with a table (or with "
                           "--json an array) of each meter's result.\n");
    text += QStringLiteral("\n'kelvar517-cli COMMAND --help' describes a command and its options;\n"
                           "'kelvar517-cli --version' prints the version.\n\n");
    return text + exitCodesText();
}

// The first argument that is neither an option nor an option's value.
QString findCommand(const QStringList &args, const Options &o)
{
    QStringList valued;
    for (const QCommandLineOption &option :
         o.link() + QList<QCommandLineOption>{o.templateFile, o.from, o.to, o.wait, o.year, o.month, o.date, o.outFile}) {
        if (!option.valueName().isEmpty())
            valued << option.names();
    }
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (!a.startsWith(QLatin1Char('-')))
            return a;
        QString name = a.mid(a.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (!name.contains(QLatin1Char('=')) && valued.contains(name))
            ++i;
    }
    return {};
}


// The arguments taken apart: the command named (none: unknown or missing),
// its parser, help asked for, the link options.
struct Parsed {
    QString name;
    const Command *command = nullptr;
    QCommandLineParser parser;
    bool help = false;
    LinkOptions link;
};

// Fills `parsed` from the arguments; a bad argument of a known command throws UsageError.
void parse(const QStringList &arguments, const Options &o, Parsed &parsed)
{
    parsed.name = findCommand(arguments, o);
    for (const Command &c : commands(o)) {
        if (c.name == parsed.name)
            parsed.command = &c;
    }
    parsed.help = arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
    if (!parsed.command)
        return;
    const Command &command = *parsed.command;
    QCommandLineParser &parser = parsed.parser;
    parser.setApplicationDescription(command.description);
    parser.addOption(o.help);
    parser.addOptions(o.link());
    parser.addOptions(command.options);
    // The usage line ends with the command's synopsis.
    parser.addPositionalArgument(command.name, command.description, command.synopsis);
    if (!parser.parse(arguments))
        throw UsageError{parser.errorText()};
    parsed.help = parser.isSet(o.help);
    if (parsed.help)
        return;
    if (parser.positionalArguments().size() > 1 + command.words)
        throw UsageError{QStringLiteral("unexpected argument \"%1\"")
                             .arg(parser.positionalArguments().value(1 + command.words))};
    parsed.link = linkOptions(parser, o);
}

} // namespace

ParsedArguments parseArguments(const QStringList &arguments)
{
    const Options o;
    Parsed parsed;
    ParsedArguments result;
    try {
        parse(arguments, o, parsed);
    } catch (const UsageError &e) {
        result.usageError = e.message;
    }
    result.command = parsed.command ? parsed.name : QString();
    result.help = parsed.help;
    result.link = parsed.link;
    if (!parsed.command && result.usageError.isEmpty() && !(parsed.help && parsed.name.isEmpty()))
        result.usageError = parsed.name.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command");
    return result;
}

int run(const QStringList &arguments)
{
    const Options o;
    Parsed parsed;
    try {
        parse(arguments, o, parsed);
        if (!parsed.command && parsed.name.isEmpty() && arguments.contains(QStringLiteral("--version"))) {
            out() << QStringLiteral("kelvar517-cli %1\n").arg(QLatin1String(ProgramVersion));
            return ExitOk;
        }
        if (!parsed.command) {
            const bool general = parsed.help && parsed.name.isEmpty();
            if (!parsed.name.isEmpty())
                err() << QStringLiteral("unknown command \"%1\"\n\n").arg(parsed.name);
            (general ? out() : err()) << generalHelp(o);
            return general ? ExitOk : ExitUsage;
        }
        if (parsed.help) {
            out() << parsed.parser.helpText() << QLatin1Char('\n') << exitCodesText();
            return ExitOk;
        }
        LinkOptions link = parsed.link;
        link.password = accessPassword(parsed.parser, o);
        std::unique_ptr<simulation::SimulatedMeter> simulated;
        if (parsed.parser.isSet(o.simulate) || parsed.parser.isSet(o.simulateMeters)) {
            QString error;
            QList<int> addresses;
            if (parsed.parser.isSet(o.simulateMeters)) {
                addresses = simulation::parseMeterAddresses(parsed.parser.value(o.simulateMeters), &error);
                if (addresses.isEmpty())
                    throw UsageError{QStringLiteral("--simulate-meters: %1").arg(error)};
            }
            simulated = simulation::startSimulatedMeter(&error, addresses);
            if (!simulated)
                throw UsageError{QStringLiteral("--simulate: not available: %1").arg(error)};
            link.port = simulated->devicePath();
            link.simulated = simulated.get();
        }
        return parsed.command->run(parsed.parser, o, link);
    } catch (const UsageError &e) {
        err() << e.message << QStringLiteral("\n'kelvar517-cli %1 --help' lists the options.\n").arg(parsed.name);
        return ExitUsage;
    }
}

} // namespace kelvar::cli
