#include "Calibration.h"

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/ExchangeEngine.h"
#include "meter/ResponseDispatcher.h"
#include "meter/SettingsBatch.h"

namespace kelvar::meter {

using namespace link;

Coefficients readCoefficients(const QByteArray &response)
{
    return {readS16(response, 2), readS16(response, 4), readS16(response, 6)};
}

QString calibrationLogLine(const QStringList &shownTexts)
{
    return QStringLiteral("Коэффициенты калибровки=") + shownTexts.join(QLatin1Char(','));
}

const QList<int> &CalibrationOwner::codes()
{
    static const QList<int> list{fn::ReadCalibration, fn::WriteCalibration};
    return list;
}

CalibrationOwner::CalibrationOwner(ExchangeEngine &engine, ResponseDispatcher &dispatcher, MeterState &state,
                                   const OperationLogSink &log, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_state(state)
    , m_log(log)
{
    dispatcher.registerOwner(codes(), [this](const QByteArray &response, const QByteArray &) {
        if (byteAt(response, 0) == fn::ReadCalibration) {
            const Coefficients c = readCoefficients(response);
            emit coefficientsRead(c[0], c[1], c[2]);
        } else if (m_texts) {
            m_log.AddToOperationLog(m_state.MeterNumber, calibrationLogLine(m_texts()));
        }
    });
    connect(&dispatcher, &ResponseDispatcher::responseFailed, this, [this](const QString &text) {
        if (m_engine.CalibrationWriteActive())
            m_failure = text;
    });
    connect(&engine, &ExchangeEngine::writeBatchEnded, this, [this](WriteBatch batch, bool completed) {
        if (batch != WriteBatch::Calibration)
            return;
        const QString reason = m_failure.isEmpty() ? QStringLiteral("счетчик не ответил") : m_failure;
        emit writeEnded(completed, completed ? QString() : writeFailedText(reason));
    });
}

QString CalibrationOwner::writeFailedText(const QString &reason)
{
    return QStringLiteral("Коэффициенты калибровки не записаны: ") + reason;
}

void CalibrationOwner::BtnReadCalibrClick()
{
    m_engine.AddCommand(request(fn::ReadCalibration));
}

CalibrationOwner::WriteStart CalibrationOwner::BtnWriteCalibrClick(const Coefficients &values,
                                                                  const QString &accessPassword)
{
    const AccessStep step = accessPasswordStep({m_state.PasswordAccepted, accessPassword});
    if (step.refused)
        return WriteStart::InvalidPassword;
    if (!m_engine.beginWriteBatch(WriteBatch::Calibration))
        return WriteStart::Busy;
    m_failure.clear();
    if (!step.request.isEmpty())
        m_engine.AddCommand(step.request);
    m_engine.AddCommand(writeCalibrationRequest(values[0], values[1], values[2]));
    return WriteStart::Started;
}

} // namespace kelvar::meter
