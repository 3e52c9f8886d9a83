#pragma once
// One command on several meters at once: one link per port, each in a thread
// of its own with its own session, so no meter waits for another. Each port
// does exactly what the command does on one port; at the end a table (or a
// JSON array) says per port how it went, and the exit code is the highest
// code of a single meter.

#include "cli/Session.h"
#include "meter/SettingsTemplate.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace kelvar::cli {

// A ports list: one port per line, optionally followed by the meter's address
// (0..255); blank lines and lines starting with '#' are skipped. No value and
// *error ("line N: ...") when a line is not one of these or a port repeats.
std::optional<QList<PortTarget>> parsePortsList(const QString &text, QString *error);

// How one meter went.
struct MeterOutcome {
    QString port;
    int address = 0;          // the address the meter answers on at the end
    quint32 serial = 0;       // its serial number (0: not read)
    int code = ExitOk;
    QString result;           // "ok", "differs: ...", the meter's refusal, "no answer", ...
    qint64 elapsedMs = 0;
    QList<meter::ComparisonRow> comparison;
    QJsonObject values;       // what the command read (info), or the file it wrote
    QString text;             // the command's own text for this meter (info)
    QStringList notes;        // production database messages, left-out records, ...
};

// The result word of a meter from its code, its session's error and its comparison.
QString resultText(int code, const QString &error, bool linkOpen, const QList<meter::ComparisonRow> &comparison);
// A path with {port} and {serial} replaced by the port's name (without
// "/dev/", other slashes as '-') and the meter's serial number.
QString expandPath(const QString &pattern, const QString &port, quint32 serial);
bool hasPlaceholder(const QString &pattern);

// The final table: port, address, serial, result, time taken.
QString outcomeTable(const QList<MeterOutcome> &outcomes);
QJsonArray outcomeJson(const QList<MeterOutcome> &outcomes);
// 0 when every meter is ok, else the highest code of a meter.
int combinedExit(const QList<MeterOutcome> &outcomes);

// The production database as the runner records into it (null: not recorded).
struct ProductionSetup {
    int computerId = 0;
    int personId = 0;
    int plantId = 0;
    bool setClock = true;     // set the workstation clock from the server (where the process may)
};

// What to do with each meter: returns its code; fills the outcome's
// comparison, values, text and notes as the command needs.
using MeterJob = std::function<int(Session &session, MeterOutcome &outcome)>;

struct MultiPortRun {
    LinkOptions link;                      // the link options every port shares
    QList<PortTarget> targets;
    const ProductionSetup *production = nullptr;
    bool showProgress = false;             // a line per port on standard error, redrawn in place
};

// The start-up check of production mode on a connection of its own: the
// workstation, the logged-on operator and the plant, then the clock from the
// server. Their messages go to message. No value when one of them is not
// described: the program then ends with exit code 1. A database that cannot
// be reached leaves the identifiers at 0; each recording tries again.
std::optional<ProductionSetup> identifyWorkstation(bool setClock, const std::function<void(const QString &)> &message);

// Runs the job on every port at once and returns the outcomes in port order.
QList<MeterOutcome> runOnPorts(const MultiPortRun &run, const MeterJob &job);

} // namespace kelvar::cli
