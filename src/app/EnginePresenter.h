#pragma once
// What the window shows of the exchange engine: the result indicator Shape1
// on the tool bar with its 2-second timer TimerShape, and the enabling of the
// setting actions (ActionSetting, ActionFixDb) and of ActionFindAddress. It
// listens to the engine's events only, so the engine carries no window state.

#include <QObject>
#include <QTimer>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::app {

// The result indicator Shape1 on the tool bar.
enum class Indicator { Hidden, Green, Red };

class EnginePresenter : public QObject
{
    Q_OBJECT
public:
    static constexpr int ShapeInterval = 2000;

    explicit EnginePresenter(link::ExchangeEngine &engine, QObject *parent = nullptr);

    Indicator indicator() const { return m_indicator; }

signals:
    void indicatorChanged(kelvar::app::Indicator indicator);
    void settingActionsEnabled(bool enabled); // ActionSetting, ActionFixDb
    void findAddressEnabled(bool enabled);    // ActionFindAddress

private:
    // Shows the indicator until TimerShape hides it.
    void showResult(Indicator indicator);
    void TimerShapeTimer();

    link::ExchangeEngine &m_engine;
    QTimer m_timerShape;
    Indicator m_indicator = Indicator::Hidden;
};

} // namespace kelvar::app

Q_DECLARE_METATYPE(kelvar::app::Indicator)
