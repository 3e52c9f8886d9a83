#pragma once
// The three phase calibration coefficients: reading them from the meter and
// writing edited values back. Signed 16-bit numbers, low byte first.
// Widget-free: the calibration tab shows what comes in and hands in what the
// operator typed.

#include "meter/MeterState.h"
#include "meter/OperationLogSink.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

#include <array>
#include <functional>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::meter {

class ResponseDispatcher;

using Coefficients = std::array<int, 3>;   // phases A, B, C

// The coefficients of a read reply: bytes 2..7, a pair per phase.
Coefficients readCoefficients(const QByteArray &response);
// "Коэффициенты калибровки=" and the three texts as shown, separated by commas.
QString calibrationLogLine(const QStringList &shownTexts);

class CalibrationOwner : public QObject
{
    Q_OBJECT
public:
    static const QList<int> &codes();    // 10 (read), 11 (write)

    CalibrationOwner(link::ExchangeEngine &engine, ResponseDispatcher &dispatcher, MeterState &state,
                     const OperationLogSink &log, QObject *parent = nullptr);

    // The three coefficients as the tab shows them when a write is confirmed.
    void setShownTexts(std::function<QStringList()> texts) { m_texts = std::move(texts); }

    // Queues the read request.
    void BtnReadCalibrClick();
    enum class WriteStart {
        Started,           // the write batch is queued
        InvalidPassword,   // the access password is not usable; nothing was queued
        Busy,              // another write is still pending; nothing was queued
    };
    // Starts a calibration write batch: the access password request when the
    // meter has not accepted it yet, then the write. Its end is reported by
    // writeEnded.
    WriteStart BtnWriteCalibrClick(const Coefficients &values, const QString &accessPassword);

    // "Коэффициенты калибровки не записаны: " and the reason.
    static QString writeFailedText(const QString &reason);

signals:
    void coefficientsRead(int a, int b, int c);
    // The write batch ended: confirmed, or refused or unanswered with the
    // message to show (it names the meter's error reply).
    void writeEnded(bool written, const QString &message);

private:
    link::ExchangeEngine &m_engine;
    MeterState &m_state;
    const OperationLogSink &m_log;
    std::function<QStringList()> m_texts;
    QString m_failure; // the error reply or wrong response of the pending write
};

} // namespace kelvar::meter
