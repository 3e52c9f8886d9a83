#pragma once
// kelvar517-cli scan: lists the meters on the line, one line (or one JSON
// object) per meter as it is found.

#include "meter/MeterScan.h"

#include <QJsonObject>
#include <QString>

namespace kelvar::cli {

class Progress;

// "17\tKelvar 517.01\t100017\t1.5", then "\tunsure" for an address that
// answered only in part; a value not read is "-".
QString scannedMeterLine(const meter::ScannedMeter &meter);
// {"address": 17, "type": "Kelvar 517.01", "number": 100017, "version": "1.5", "sure": true};
// a value not read is null.
QJsonObject scannedMeterJson(const meter::ScannedMeter &meter);

// Scans settings.from..settings.to on the line the link lends and prints the
// meters to standard output as they are found. ExitOk when at least one
// meter answered; ExitLink (with the reason in *error) when none did or the
// line could not be had.
int scanLine(link::LineLender &line, const meter::ScanSettings &settings, bool json, Progress &progress,
             QString *error);

} // namespace kelvar::cli
