#pragma once
// The command-line program's commands and their output texts.

#include "cli/Session.h"
#include "meter/SettingsTemplate.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvar::link { class ExchangeEngine; }
namespace kelvar::meter { class MeterInfo; }

namespace kelvar::cli {

// The rows of the information tab as "caption: value" lines (spacer rows
// give empty lines), then the display items with their ticks.
QString infoText(const meter::MeterInfo &info);
// The readout as typed values, with the link the meter answered on.
QJsonObject infoJson(const meter::MeterInfo &info, const link::ExchangeEngine &engine);
// One line per compared setting: "key: ok", "key: differs: meter X, template Y"
// or "key: not compared".
QString comparisonText(const QList<meter::ComparisonRow> &rows);

// What the arguments ask for, found without doing anything: the command
// (empty when none is known), whether help is asked for, the link options as
// given (the access password as --password gives it), or the usage error.
struct ParsedArguments {
    QString command;
    bool help = false;
    QString usageError;
    LinkOptions link;
};
ParsedArguments parseArguments(const QStringList &arguments);

// Runs the program with its arguments (the program name first); returns the exit code.
int run(const QStringList &arguments);

} // namespace kelvar::cli
