#include "app/EnginePresenter.h"

#include "link/ExchangeEngine.h"

namespace kelvar::app {

EnginePresenter::EnginePresenter(link::ExchangeEngine &engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    qRegisterMetaType<kelvar::app::Indicator>();
    m_timerShape.setInterval(ShapeInterval);
    m_timerShape.setSingleShot(true);
    // As precise as the engine's own timer started with it, which reads the
    // meter afresh: the indicator goes out right after that, never before.
    m_timerShape.setTimerType(Qt::PreciseTimer);
    connect(&m_timerShape, &QTimer::timeout, this, &EnginePresenter::TimerShapeTimer);

    using link::ExchangeEngine;
    connect(&engine, &ExchangeEngine::writeBatchEnded, this, [this](link::WriteBatch, bool completed) {
        showResult(completed ? Indicator::Green : Indicator::Red);
    });
    connect(&engine, &ExchangeEngine::writeBatchStarted, this, [this] { emit settingActionsEnabled(false); });
    // Every accepted reply brings the setting actions back, except while a
    // write batch is pending: they return when it ends.
    connect(&engine, &ExchangeEngine::answered, this, [this] {
        emit settingActionsEnabled(!m_engine.writeBatchPending());
        emit findAddressEnabled(false);
    });
    connect(&engine, &ExchangeEngine::meterSilent, this, [this] { emit findAddressEnabled(true); });
    connect(&engine, &ExchangeEngine::timeoutsExceeded, this, [this] { emit settingActionsEnabled(false); });
    connect(&engine, &ExchangeEngine::portLostChanged, this, [this](bool lost) {
        if (lost)
            emit settingActionsEnabled(false);
    });
    connect(&engine, &ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (connected)
            return;
        emit settingActionsEnabled(false);
        emit findAddressEnabled(false);
    });
}

void EnginePresenter::showResult(Indicator indicator)
{
    m_indicator = indicator;
    emit indicatorChanged(indicator);
    m_timerShape.start();
}

void EnginePresenter::TimerShapeTimer()
{
    m_indicator = Indicator::Hidden;
    emit indicatorChanged(Indicator::Hidden);
}

} // namespace kelvar::app
