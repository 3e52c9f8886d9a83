#include "cli/ScanCommand.h"

#include "cli/Progress.h"
#include "cli/Session.h"

#include <QEventLoop>
#include <QJsonDocument>

#include <cstdio>

namespace kelvar::cli {

QString scannedMeterLine(const meter::ScannedMeter &m)
{
    const auto field = [](const QString &value) { return value.isEmpty() ? QStringLiteral("-") : value; };
    QString line = QStringLiteral("%1\t%2\t%3\t%4").arg(m.address).arg(field(m.type), field(m.number), field(m.version));
    if (!m.sure)
        line += QStringLiteral("\tunsure");
    return line;
}

QJsonObject scannedMeterJson(const meter::ScannedMeter &m)
{
    const auto text = [](const QString &value) { return value.isEmpty() ? QJsonValue() : QJsonValue(value); };
    return {
        {QStringLiteral("address"), m.address},
        {QStringLiteral("type"), text(m.type)},
        {QStringLiteral("number"), m.number.isEmpty() ? QJsonValue() : QJsonValue(m.number.toLongLong())},
        {QStringLiteral("version"), text(m.version)},
        {QStringLiteral("sure"), m.sure},
    };
}

int scanLine(link::LineLender &line, const meter::ScanSettings &settings, bool json, Progress &progress,
             QString *error)
{
    meter::MeterScan scan(line);
    QObject::connect(&scan, &meter::MeterScan::meterFound, [&](const meter::ScannedMeter &m) {
        progress.finish();
        const QByteArray text = json ? QJsonDocument(scannedMeterJson(m)).toJson(QJsonDocument::Compact)
                                     : scannedMeterLine(m).toUtf8();
        std::fprintf(stdout, "%s\n", text.constData());
        std::fflush(stdout);
    });
    QObject::connect(&scan, &meter::MeterScan::progress, [&](int done, int total) {
        if (done == 0)
            progress.begin(QStringLiteral("scanning"), total);
        else
            progress.update(done);
    });
    QEventLoop loop;
    QObject::connect(&scan, &meter::MeterScan::finished, &loop, &QEventLoop::quit);
    if (!scan.start(settings)) {
        *error = QStringLiteral("the line cannot be scanned: the port cannot be opened");
        return ExitLink;
    }
    loop.exec();
    progress.finish();
    if (scan.meters().isEmpty()) {
        *error = QStringLiteral("no meter answered at addresses %1..%2").arg(settings.from).arg(settings.to);
        return ExitLink;
    }
    return ExitOk;
}

} // namespace kelvar::cli
