#include "Commands.h"

#include "cli/CommandTable.h"
#include "cli/MeterJobs.h"
#include "cli/MultiPort.h"
#include "cli/Progress.h"
#include "cli/ScanCommand.h"
#include "journals/Journal.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "meter/MeterInfo.h"
#include "meter/MeterRead.h"
#include "meter/ShortReport.h"
#include "schedule/EditorImage.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>

namespace kelvar::cli {

namespace {

// A session set up for the command line: progress on a terminal, the trace on request.
struct Run {
    Progress progress{Progress::stderrIsTerminal()};
    Session session;
    Run(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
        : session(link, progress)
    {
        if (p.isSet(o.trace)) {
            session.engine().setMasterMode(true);
            QObject::connect(&session.engine(), &link::ExchangeEngine::protocolLine, [this](const QString &line) {
                progress.finish();
                err() << line << Qt::endl;
            });
        }
    }
    // Connects and reads one poll cycle.
    int connectAndRead() { return readMeter(session); }
    int fail(int code)
    {
        progress.finish();
        if (code != ExitOk && !session.error().isEmpty())
            err() << session.error() << Qt::endl;
        return code;
    }
};

// Several meters at once (also one meter whose outcome is asked for as a
// table row: --json or --production): the job on each port, then the table
// or the JSON array. Exit: the highest code of a meter.
int onPorts(const QCommandLineParser &p, const Options &o, LinkOptions link, const MeterJob &job,
            const ProductionSetup *production = nullptr)
{
    if (link.simulated)
        throw UsageError{QStringLiteral("--simulate runs one meter: without --json and --production")};
    if (link.ports.isEmpty())
        link.ports << PortTarget{link.port, std::nullopt};
    const QList<MeterOutcome> outcomes = runOnPorts({link, link.ports, production, Progress::stderrIsTerminal()}, job);
    if (p.isSet(o.json)) {
        out() << QJsonDocument(outcomeJson(outcomes)).toJson(QJsonDocument::Indented);
    } else {
        for (const MeterOutcome &m : outcomes) {
            if (!m.text.isEmpty())
                out() << QStringLiteral("== %1 ==\n").arg(m.port) << m.text << QLatin1Char('\n');
        }
        out() << outcomeTable(outcomes);
    }
    out().flush();
    return combinedExit(outcomes);
}

bool onSeveral(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    // Asked by name: not every command has --json.
    return !link.ports.isEmpty() || p.optionNames().contains(o.json.names().constFirst());
}

void oneMeterOnly(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    if (onSeveral(p, o, link))
        throw UsageError{QStringLiteral("this command works on one meter: one --port")};
}

// --- Commands --------------------------------------------------------------------

int infoCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    if (!link.ports.isEmpty()) {
        const bool json = p.isSet(o.json);
        return onPorts(p, o, link, [json](Session &session, MeterOutcome &outcome) {
            const int result = readMeter(session);
            if (result == ExitOk && json)
                outcome.values[QStringLiteral("info")] = infoJson(session.info(), session.engine());
            else if (result == ExitOk)
                outcome.text = infoText(session.info());
            return result;
        });
    }
    Run run(p, o, link);
    if (const int result = run.connectAndRead())
        return run.fail(result);
    if (p.isSet(o.json))
        out() << QJsonDocument(infoJson(run.session.info(), run.session.engine())).toJson(QJsonDocument::Indented);
    else
        out() << infoText(run.session.info());
    out().flush();
    return ExitOk;
}

int printComparison(const QList<meter::ComparisonRow> &rows)
{
    out() << comparisonText(rows);
    out().flush();
    return comparisonExit(rows);
}

int writeCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const meter::SettingsTemplate tpl = templateOption(p, o);
    if (tpl.values.writePassword)
        warnReadable(p.value(o.templateFile), QStringLiteral("a new access password"));
    if (p.isSet(o.keepClock) && !p.isSet(o.production))
        throw UsageError{QStringLiteral("--keep-clock goes with --production")};
    if (p.isSet(o.production)) {
        const auto production = identifyWorkstation(!p.isSet(o.keepClock), [](const QString &text) {
            err() << text << Qt::endl;
        });
        if (!production)
            return ExitRefused;
        return onPorts(p, o, link, [tpl](Session &session, MeterOutcome &outcome) {
            return writeMeter(session, tpl, &outcome.comparison);
        }, &*production);
    }
    if (onSeveral(p, o, link)) {
        return onPorts(p, o, link, [tpl](Session &session, MeterOutcome &outcome) {
            return writeMeter(session, tpl, &outcome.comparison);
        });
    }
    Run run(p, o, link);
    QList<meter::ComparisonRow> rows;
    const int result = writeMeter(run.session, tpl, &rows);
    if (!rows.isEmpty())
        return printComparison(rows);
    if (result == ExitOk)   // nothing to write: the reason on standard error
        err() << run.session.error() << Qt::endl;
    return run.fail(result);
}

int compareCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const meter::SettingsTemplate tpl = templateOption(p, o);
    const MeterJob job = [tpl](Session &session, MeterOutcome &outcome) {
        return compareMeter(session, tpl, &outcome.comparison);
    };
    if (onSeveral(p, o, link))
        return onPorts(p, o, link, job);
    Run run(p, o, link);
    QList<meter::ComparisonRow> rows;
    const int result = compareMeter(run.session, tpl, &rows);
    return rows.isEmpty() ? run.fail(result) : printComparison(rows);
}

int findAddressCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const int from = integerOption(p, o.from, 0, 255);
    oneMeterOnly(p, o, link);
    Run run(p, o, link);
    int result = run.session.connectMeter();
    if (result == ExitOk)
        result = run.session.findAddress(from);
    if (result != ExitOk)
        return run.fail(result);
    out() << run.session.engine().address() << Qt::endl;
    return ExitOk;
}

int scanCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    meter::ScanSettings settings;
    settings.from = integerOption(p, o.from, 0, 255);
    settings.to = integerOption(p, o.to, 0, 255);
    if (settings.from > settings.to)
        throw UsageError{QStringLiteral("--from %1 is above --to %2").arg(settings.from).arg(settings.to)};
    if (p.isSet(o.wait))
        settings.waitUs = integerOption(p, o.wait, 1, 1000) * 1000LL;
    // An address whose answer came late gets the link's whole time-out.
    settings.recheckWaitMs = link.timeout;
    if (!link.ports.isEmpty())
        throw UsageError{QStringLiteral("scan works on one line: one --port")};
    Run run(p, o, link);
    QString error;
    const int result = scanLine(run.session.engine(), settings, p.isSet(o.json), run.progress, &error);
    if (result != ExitOk)
        err() << error << Qt::endl;
    return result;
}

const QStringList &journalNames()
{
    static const QStringList names{QStringLiteral("yearly"), QStringLiteral("daily"), QStringLiteral("profile"),
                                   QStringLiteral("settings"), QStringLiteral("power")};
    return names;
}

int journalCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QString name = p.positionalArguments().value(1);
    const int index = journalNames().indexOf(name);
    if (index < 0 || p.positionalArguments().size() != 2)
        throw UsageError{QStringLiteral("which journal: one of %1").arg(journalNames().join(QStringLiteral(", ")))};
    const auto kind = static_cast<journals::JournalKind>(index);
    const QDate today = QDate::currentDate();
    journals::JournalParams params;
    params.year = p.isSet(o.year) ? integerOption(p, o.year, 2000, 2099) : today.year();
    params.monthIndex = (p.isSet(o.month) ? integerOption(p, o.month, 1, 12) : today.month()) - 1;
    params.date = p.isSet(o.date) ? QDate::fromString(p.value(o.date), Qt::ISODate) : today;
    if (!params.date.isValid() || params.date.year() < 2000 || params.date.year() > 2099)
        throw UsageError{QStringLiteral("--date: \"%1\" is not a day YYYY-MM-DD in 2000..2099").arg(p.value(o.date))};
    const QString target = p.value(o.outFile);
    if (target.isEmpty())
        throw UsageError{QStringLiteral("--out FILE is needed (- for CSV on standard output)")};

    if (onSeveral(p, o, link)) {
        if (!hasPlaceholder(target))
            throw UsageError{QStringLiteral("--out needs {port} or {serial} in the name with several meters")};
        return onPorts(p, o, link, [kind, params, target](Session &session, MeterOutcome &outcome) {
            QString path;
            QString error;
            const int result = journalMeter(session, kind, params, target, &path, &error);
            if (result == ExitOk)
                outcome.values[QStringLiteral("file")] = path;
            else if (result == ExitUsage)
                outcome.notes << error;
            return result;
        });
    }

    Run run(p, o, link);
    QTemporaryDir dir;
    const QString path = target == QStringLiteral("-") ? dir.filePath(QStringLiteral("journal.csv")) : target;
    QString error;
    QString written;
    if (const int result = journalMeter(run.session, kind, params, path, &written, &error)) {
        if (result == ExitUsage) {
            err() << error << Qt::endl;
            return ExitUsage;
        }
        return run.fail(result);
    }
    if (target == QStringLiteral("-")) {
        QFile csv(path);
        if (!csv.open(QIODevice::ReadOnly))
            return ExitUsage;
        out().flush();
        std::fwrite(csv.readAll().constData(), 1, static_cast<size_t>(csv.size()), stdout);
        std::fflush(stdout);
    }
    return ExitOk;
}

// One poll cycle into the short report, the file "Краткий отчет" of the window saves.
int reportCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QString target = p.value(o.reportOut);
    if (target.isEmpty())
        throw UsageError{QStringLiteral("--out FILE is needed")};
    oneMeterOnly(p, o, link);
    Run run(p, o, link);
    if (const int result = run.connectAndRead())
        return run.fail(result);
    // Written whole or not at all: a failed write leaves an older file as it was.
    QString error;
    if (!meter::saveShortReport(target, meter::shortReportInput(run.session.info(), QDateTime::currentDateTime()),
                                &error)) {
        err() << target << QStringLiteral(": ") << error << Qt::endl;
        return ExitUsage;
    }
    return ExitOk;
}

// The image as the window's schedule editor holds it once it has taken it in
// (from a file or from the meter): what the window would save or write.
std::optional<schedule::ScheduleImage> throughEditor(const schedule::ScheduleImage &image, QString *error)
{
    schedule::ScheduleModel model;
    schedule::ScheduleTables tables;
    if (!schedule::applyImage(image, model, tables, error))
        return std::nullopt;
    return schedule::takeImage(model, tables);
}

int scheduleRead(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QString target = p.value(o.scheduleOut);
    if (target.isEmpty())
        throw UsageError{QStringLiteral("--out FILE.tsc is needed")};
    oneMeterOnly(p, o, link);
    Run run(p, o, link);
    if (const int result = run.connectAndRead())
        return run.fail(result);
    if (const int result = run.session.readSchedule())
        return run.fail(result);
    QString error;
    const auto image = throughEditor(run.session.schedule().result(), &error);
    if (!image) {
        err() << QStringLiteral("the meter's schedule cannot be taken: ") << error << Qt::endl;
        return ExitRefused;
    }
    // Written whole or not at all: a failed write leaves an older file as it was.
    if (!schedule::writeTscFile(target, *image, &error)) {
        err() << error << Qt::endl;
        return ExitUsage;
    }
    return ExitOk;
}

int scheduleWrite(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QString path = p.positionalArguments().at(2);
    QString error;
    // The whole file is checked before the port is opened.
    std::optional<schedule::ScheduleImage> image = schedule::readTscFile(path, &error);
    if (image)
        image = throughEditor(*image, &error);
    if (!image)
        throw UsageError{QStringLiteral("%1: %2").arg(path, error)};
    const int records = schedule::buildScheduleWrite(*image).recordCount;
    if (!schedule::fitsInMeter(records))
        throw UsageError{QStringLiteral("%1: %2").arg(path, schedule::tooManyRecordsMessage(records))};

    const auto leftOutText = [](int leftOut) {
        return QStringLiteral("%1 records apply to no day (no day type or no month) and were not written.").arg(leftOut);
    };
    if (onSeveral(p, o, link)) {
        return onPorts(p, o, link, [image = *image, leftOutText](Session &session, MeterOutcome &outcome) {
            int leftOut = 0;
            const int result = writeScheduleMeter(session, image, &leftOut);
            if (leftOut)
                outcome.notes << leftOutText(leftOut);
            return result;
        });
    }
    Run run(p, o, link);
    int leftOut = 0;
    if (const int result = writeScheduleMeter(run.session, *image, &leftOut))
        return run.fail(result);
    if (leftOut)
        err() << leftOutText(leftOut) << Qt::endl;
    return ExitOk;
}

int passportCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QString target = p.value(o.recordOut);
    if (target.isEmpty())
        throw UsageError{QStringLiteral("--out FILE.pdf is needed")};
    if (!link.ports.isEmpty())
        throw UsageError{QStringLiteral("this command works on one meter: one --port")};
    Run run(p, o, link);
    QString error;
    const int result = passportMeter(run.session, target, &error);
    if (result != ExitOk && !error.isEmpty()) {
        run.progress.finish();
        err() << error << Qt::endl;
        return result;
    }
    return run.fail(result);
}

int scheduleCommand(const QCommandLineParser &p, const Options &o, const LinkOptions &link)
{
    const QStringList words = p.positionalArguments();
    if (words.value(1) == QStringLiteral("read") && words.size() == 2)
        return scheduleRead(p, o, link);
    if (words.value(1) == QStringLiteral("write") && words.size() == 3)
        return scheduleWrite(p, o, link);
    throw UsageError{QStringLiteral("schedule read --out FILE.tsc, or schedule write FILE.tsc")};
}


} // namespace

const QList<Command> &commands(const Options &o)
{
    static const QList<Command> list{
        {QStringLiteral("info"), QStringLiteral("info [--json]"),
         QStringLiteral("Reads the meter once (one poll cycle) and prints the rows of the information tab, "
                        "or with --json the same values typed."),
         {o.json}, 0, &infoCommand},
        {QStringLiteral("report"), QStringLiteral("report --out FILE"),
         QStringLiteral("Reads the meter once (one poll cycle) and writes its short report, the text file "
                        "\"Краткий отчет\" of the window saves (Windows-1251, tab-separated), whole or not at all."),
         {o.reportOut}, 0, &reportCommand},
        {QStringLiteral("write"), QStringLiteral("write --template FILE"),
         QStringLiteral("Writes the settings the template names, as the settings tab does (access password "
                        "first, link parameters last; the clock from the workstation unless the template fixes "
                        "it), then reads the meter again and prints each setting as ok or differs. With --production "
                        "each completed write is recorded in the production database."),
         {o.templateFile, o.json, o.production, o.keepClock}, 0, &writeCommand},
        {QStringLiteral("compare"), QStringLiteral("compare --template FILE"),
         QStringLiteral("Reads the meter and compares it with the template; writes nothing."),
         {o.templateFile, o.json}, 0, &compareCommand},
        {QStringLiteral("find-address"), QStringLiteral("find-address [--from N]"),
         QStringLiteral("Tries one address after the other (one time-out each) until a meter answers, "
                        "and prints its address."),
         {o.from}, 0, &findAddressCommand},
        {QStringLiteral("scan"), QStringLiteral("scan [--from A] [--to B] [--wait MS] [--json]"),
         QStringLiteral("Lists every meter on the line: tries each address from A to B (default the whole range) "
                        "with a short wait derived from the baud rate, reads type, serial number and software "
                        "version of each that answers and prints one line per meter (address, type, number, "
                        "version, tab-separated; \"unsure\" for an address that answered once and then not), or "
                        "with --json one JSON object per line. Exit code 0 when any meter answered, 2 when none did."),
         {o.from, o.to, o.wait, o.json}, 0, &scanCommand},
        {QStringLiteral("journal"),
         QStringLiteral("journal yearly|daily|profile|settings|power [--year Y] [--month M] [--date YYYY-MM-DD] --out FILE"),
         QStringLiteral("Reads one journal of the meter and writes its list as the window exports it (.xls, .xlsx "
                        "or .csv by the file's extension; - writes CSV to standard output). The file is written "
                        "whole or not at all."),
         {o.year, o.month, o.date, o.outFile, o.json}, 1, &journalCommand},
        {QStringLiteral("schedule"), QStringLiteral("schedule read --out FILE.tsc | schedule write FILE.tsc"),
         QStringLiteral("Reads the meter's tariff schedule (zones, holidays, transfers, limit coefficient) into a "
                        "schedule file, written whole or not at all; or writes a schedule file to the meter as "
                        "\"Записать в счетчик\" of the schedule editor does (the access password first). The file "
                        "is checked whole before anything is sent."),
         {o.scheduleOut, o.json}, 2, &scheduleCommand},
        {QStringLiteral("passport"), QStringLiteral("passport --out FILE.pdf"),
         QStringLiteral("Reads the meter (one poll cycle) and its whole tariff schedule and writes the programming "
                        "record (\"Протокол программирования счетчика\", A4) as a PDF file, written whole or not at "
                        "all: the meter, its settings and link, the year grid in the tariff colours, each day "
                        "programme, holidays, transfers, the limit coefficient, the schedule checksum the meter "
                        "reports beside the one computed from the schedule read, workstation, operator and time."),
         {o.recordOut}, 0, &passportCommand},
    };
    return list;
}

QString infoText(const meter::MeterInfo &info)
{
    QString text;
    const auto table = [&text](const QStringList &captions, const QStringList &values) {
        for (int row = 0; row < captions.size(); ++row)
            text += captions.at(row).isEmpty() ? QStringLiteral("\n")
                                               : captions.at(row) + QStringLiteral(": ") + values.value(row)
                                                     + QLatin1Char('\n');
        text += QLatin1Char('\n');
    };
    table(meter::MeterInfo::mainCaptions(), info.mainValues());
    table(meter::MeterInfo::addiCaptions(), info.addiValues());
    text += QStringLiteral("Индикатор :\n");
    for (int bit = 0; bit < meter::displayItemTexts().size(); ++bit)
        text += ((info.displayMask() >> bit) & 1 ? QStringLiteral("  [x] ") : QStringLiteral("  [ ] "))
                + meter::displayItemTexts().at(bit) + QLatin1Char('\n');
    return text;
}

QJsonObject infoJson(const meter::MeterInfo &info, const link::ExchangeEngine &engine)
{
    QJsonObject json = info.typedValues();
    json[QStringLiteral("link")] = QJsonObject{
        {QStringLiteral("port"), engine.portName()},
        {QStringLiteral("protocol"), protocolNames().at(engine.protocol() == link::Protocol::Modbus ? 1 : 0)},
        {QStringLiteral("address"), engine.address()},
        {QStringLiteral("baud"), link::baudRate(engine.baudIndex())},
        {QStringLiteral("parity"), parityNames().value(engine.parityIndex())},
    };
    return json;
}

QString comparisonText(const QList<meter::ComparisonRow> &rows)
{
    QString text;
    for (const meter::ComparisonRow &r : rows) {
        text += r.key + QStringLiteral(": ");
        switch (r.state) {
        case meter::ComparisonRow::State::Match:
            text += QStringLiteral("ok");
            break;
        case meter::ComparisonRow::State::Differs:
            text += QStringLiteral("differs: meter %1, template %2").arg(r.meter, r.expected);
            break;
        case meter::ComparisonRow::State::NotCompared:
            text += QStringLiteral("not compared");
            break;
        }
        text += QLatin1Char('\n');
    }
    return text;
}

} // namespace kelvar::cli
