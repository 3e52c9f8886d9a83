#pragma once
// The calibration tab ("Коэффициенты калибровки"): reads the three phase
// coefficients from the meter and writes edited values back.

#include "app/tabs/TabServices.h"
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
    CalibrationTab(QWidget *page, const TabServices &services);

    meter::CalibrationOwner &owner() { return m_owner; }

    void BtnReadCalibrClick();
    void BtnWriteCalibrClick();
    // Both buttons go with the other read and write controls (the engine's EnableControls).
    void setControlsEnabled(bool enabled);

private:
    QPushButton *BtnReadCalibr;
    QPushButton *BtnWriteCalibr;
    QSpinBox *SpinCalibrA;
    QSpinBox *SpinCalibrB;
    QSpinBox *SpinCalibrC;
    QWidget *m_page;
    meter::CalibrationOwner m_owner;
    std::function<QString()> m_accessPassword;
    MessageHandler m_message;
};

} // namespace kelvar::app
