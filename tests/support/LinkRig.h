#pragma once
// The program's link as the settings tab uses it, against the simulated meter
// on a pseudo-terminal (started by startMeter): engine over a real serial port, dispatcher, meter
// information, settings and calibration owners, and an operation log in a
// temporary folder.

#include "app/EnginePresenter.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/Calibration.h"
#include "meter/MeterInfo.h"
#include "meter/OperationLog.h"
#include "meter/ResponseDispatcher.h"
#include "meter/SettingsOwner.h"
#include "support/MeterStart.h"
#include "support/ProtocolRows.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace kelvar::test {

constexpr int LinkTimeout = 300;

struct LinkRig {
    sim::MeterServer server;
    QTemporaryDir dir;
    link::QSerialPortChannel channel;
    link::ExchangeEngine engine{&channel};
    app::EnginePresenter presenter{engine};
    meter::ResponseDispatcher dispatcher{engine};
    meter::MeterState state;
    meter::MeterInfo info{state};
    meter::OperationLog log{meter::OperationLog::pathIn(dir.path())};
    meter::SettingsOwner settings{engine, dispatcher, state, log};
    meter::CalibrationOwner calibration{engine, dispatcher, state, log};
    QStringList protocol;
    QList<app::Indicator> indicators;
    QStringList failures;

    // Starts the meter with the given state changes; the engine follows the
    // meter's link parameters.
    bool start(const std::function<void(sim::MeterState &)> &change = {})
    {
        if (!startMeter(server, change))
            return false;
        const sim::MeterState s = server.state();
        engine.setPortName(server.devicePath());
        engine.setAddress(s.address);
        engine.setProtocol(s.protocol);
        engine.setParityIndex(s.parity);
        engine.setBaudIndex(s.baudIndex);
        engine.setTimeout(LinkTimeout);
        dispatcher.registerOwner(QList<int>(meter::MeterInfo::codes().cbegin(), meter::MeterInfo::codes().cend()),
                                 [this](const QByteArray &response, const QByteArray &) { info.decode(response); });
        QObject::connect(&engine, &link::ExchangeEngine::ResetMeterInfo, &info, &meter::MeterInfo::ResetMeterInfo);
        QObject::connect(&engine, &link::ExchangeEngine::protocolLine, [this](const QString &l) { protocol << l; });
        QObject::connect(&presenter, &app::EnginePresenter::indicatorChanged,
                         [this](app::Indicator i) { indicators << i; });
        QObject::connect(&engine, &link::ExchangeEngine::writeFailed, [this](const QString &m) { failures << m; });
        return engine.ActionConnectExecute();
    }

    // The meter has been read once: its number row holds a value.
    bool waitForInfo(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return !info.mainValue(meter::MeterInfo::RowNumber).isEmpty(); }, ms);
    }

    // The write batch has run (green or red indicator shown).
    bool waitForOutcome(int ms = 15000)
    {
        return QTest::qWaitFor([this] {
            return indicators.contains(app::Indicator::Green) || indicators.contains(app::Indicator::Red);
        }, ms);
    }

    // Function codes the meter received, in order.
    QList<int> receivedCodes() const
    {
        QList<int> codes;
        for (const QByteArray &r : server.receivedRequests())
            codes << quint8(r.at(0));
        return codes;
    }

    QStringList logLines() const
    {
        QFile f(log.path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        auto decode = QStringDecoder("windows-1251");
        QStringList lines = QString(decode(f.readAll())).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

} // namespace kelvar::test
