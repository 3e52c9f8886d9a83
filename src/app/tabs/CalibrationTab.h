#pragma once
// The calibration tab ("Коэффициенты калибровки"): reads the three phase
// coefficients from the meter and writes edited values back.

#include "app/tabs/TabMessages.h"
#include "meter/Calibration.h"

#include <QObject>

#include <functional>

class QPushButton;
class QSpinBox;
class QWidget;

namespace kelvar::app {

class CalibrationTab : public QObject
{
    Q_OBJECT
public:
    CalibrationTab(QWidget *page, link::ExchangeEngine &engine, meter::ResponseDispatcher &dispatcher,
                   meter::MeterState &state, db::OperationLog &log);

    void setAccessPasswordSource(std::function<QString()> source) { m_accessPassword = std::move(source); }
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    meter::CalibrationOwner &owner() { return m_owner; }

    void BtnReadCalibrClick();
    void BtnWriteCalibrClick();
    // Both buttons go with the other read and write controls.
    void setControlsEnabled(bool enabled);

    QPushButton *BtnReadCalibr;
    QPushButton *BtnWriteCalibr;
    QSpinBox *SpinCalibrA;
    QSpinBox *SpinCalibrB;
    QSpinBox *SpinCalibrC;

private:
    QWidget *m_page;
    meter::CalibrationOwner m_owner;
    std::function<QString()> m_accessPassword;
    MessageHandler m_message;
};

} // namespace kelvar::app
