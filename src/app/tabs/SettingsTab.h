#pragma once
// The settings tab ("Установка"): the settings to write to the meter, the
// ticks of what is to be written, and the write itself (ActionSetting). The
// pickers of the clock follow the workstation clock until the operator edits
// one of them; the meter number can be typed only in master mode and only
// while the meter has none.

#include "app/tabs/SettingsTemplateActions.h"
#include "app/tabs/TabServices.h"
#include "meter/SettingsOwner.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTimeEdit;
class QWidget;

namespace kelvar::app {

class SettingsTab : public QObject
{
    Q_OBJECT
public:
    // Builds the controls into page, takes over the settings write
    // confirmations on the dispatcher and applies the start modes:
    // production mode ticks CheckAddr, numbers the new address after the
    // meter number and records completed writes; master mode (and production
    // mode) makes the meter number editable.
    SettingsTab(QWidget *page, const TabServices &services);
    // The workstation clock the pickers follow (tests replace it).
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    meter::SettingsOwner &owner() { return m_owner; }
    // The template buttons under the settings.
    SettingsTemplateActions &templates() { return *m_templates; }
    // What the controls hold now.
    meter::SettingsValues values() const;
    // Ticks exactly the settings ticked in values and fills their controls;
    // the controls of the other settings keep what they hold. A fixed clock
    // sets both pickers (they stop following the workstation clock); else
    // they follow it again. The meter number is always taken.
    void setValues(const meter::SettingsValues &values, bool fixedClock);
    // A picker no longer follows the workstation clock (the operator set it).
    bool clockFixed() const;
    // A scanned meter number into the number field, even while it is
    // read-only or disabled; the field's own change handling follows.
    void showScannedNumber(int number);

    // Handlers.
    void ActionSettingExecute();
    void TimerDateTimer();
    void ComboModeWChange();
    void SpinEdit_NumberChange();
    // The meter information was reset: both pickers follow the clock again,
    // and the number field takes the focus when it is open for input.
    void meterInfoReset();
    // Both pickers follow the workstation clock again.
    void followClock();
    // A serial number reply: the number field is open only for a meter without one.
    void meterNumberRead(quint32 number, bool isNew);

    bool timePickerFollowsClock() const { return !m_timeEdited; }
    bool datePickerFollowsClock() const { return !m_dateEdited; }

private:
    void buildControls(QWidget *page);
    void setModes(bool production, bool master);
    void TimePickerChange(QObject *picker);

    QGroupBox *GroupTask;
    QCheckBox *CheckAddr;
    QCheckBox *CheckTime;
    QCheckBox *CheckShedule;
    QCheckBox *CheckResetTariff;
    QCheckBox *CheckIntegra;
    QCheckBox *CheckComment;
    QCheckBox *CheckPassword;
    QCheckBox *CheckIndi;
    QTimeEdit *TimePicker;
    QDateEdit *DatePicker;
    QCheckBox *CheckBoxClock;
    QSpinBox *SpinDay;
    QSpinBox *SpinHour;
    QListWidget *CheckSetIndi;
    QComboBox *ComboModeW;
    QSpinBox *SpinNewAddr;
    QComboBox *ComboNewBaud;
    QLabel *LabelParityW;
    QComboBox *ComboParityW;
    QSpinBox *SpinIntegra;
    QSpinBox *SpinLimitIntegra;
    QLineEdit *EditComment;
    QLineEdit *LabeledPassW;
    QSpinBox *SpinEdit_Number;
    QTimer *TimerDate;

    QWidget *m_page;
    SettingsTemplateActions *m_templates = nullptr;
    meter::SettingsOwner m_owner;
    std::function<QString()> m_accessPassword;
    std::function<QDateTime()> m_now;
    MessageHandler m_message;
    bool m_production = false;
    bool m_master = false;
    bool m_timeEdited = false;   // the pickers' tags: edited by the operator
    bool m_dateEdited = false;
    bool m_following = false;    // the clock timer is setting the pickers
};

} // namespace kelvar::app
