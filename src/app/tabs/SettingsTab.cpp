#include "SettingsTab.h"

#include "app/Controls.h"

#include "meter/MeterInfo.h"
#include "meter/OperationLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "common/TextFormat.h"

namespace kelvar::app {

namespace {

QGroupBox *group(const char *name, const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QCheckBox *check(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QSpinBox *spin(const char *name, int min, int max, int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setValue(value);
    return box;
}

QLineEdit *edit(const char *name, int maxLength, QWidget *parent)
{
    auto *line = new QLineEdit(parent);
    line->setObjectName(QLatin1String(name));
    line->setMaxLength(maxLength);
    return line;
}

} // namespace

SettingsTab::SettingsTab(QWidget *page, const TabServices &services)
    : QObject(page)
    , m_page(page)
    , m_owner(services.engine, services.dispatcher, services.state, services.log)
    , m_accessPassword(services.accessPassword)
    , m_now([] { return QDateTime::currentDateTime(); })
    , m_message(services.message)
{
    const meter::MeterInfo &info = services.info;
    buildControls(page);
    m_templates = new SettingsTemplateActions(*this, page, services);
    static_cast<QGridLayout *>(page->layout())->addWidget(m_templates->panel(), 4, 0, 1, 3);
    m_owner.setValuesSource([this] { return values(); });

    connect(TimePicker, &QTimeEdit::timeChanged, this, [this] { TimePickerChange(TimePicker); });
    connect(DatePicker, &QDateEdit::dateChanged, this, [this] { TimePickerChange(DatePicker); });
    connect(ComboModeW, &QComboBox::currentIndexChanged, this, &SettingsTab::ComboModeWChange);
    connect(SpinEdit_Number, &QSpinBox::valueChanged, this, &SettingsTab::SpinEdit_NumberChange);
    connect(&info, &meter::MeterInfo::infoReset, this, &SettingsTab::meterInfoReset);
    connect(&info, &meter::MeterInfo::meterNumberRead, this, &SettingsTab::meterNumberRead);

    TimerDate = new QTimer(this);
    TimerDate->setObjectName(QStringLiteral("TimerDate"));
    TimerDate->setInterval(500);
    connect(TimerDate, &QTimer::timeout, this, &SettingsTab::TimerDateTimer);
    TimerDateTimer();
    TimerDate->start();
    ComboModeWChange();
    setModes(services.production, services.master);
}

void SettingsTab::buildControls(QWidget *page)
{
    GroupTask = group("GroupTask", QStringLiteral(" Установки для записи "), page);
    CheckAddr = check("CheckAddr", QStringLiteral("Записать параметры связи"), GroupTask);
    CheckTime = check("CheckTime", QStringLiteral("Установить время"), GroupTask);
    CheckShedule = check("CheckShedule", QStringLiteral("Установить расч. день и час"), GroupTask);
    CheckResetTariff = check("CheckResetTariff", QStringLiteral("Сброс тарифного расписания"), GroupTask);
    CheckIntegra = check("CheckIntegra", QStringLiteral("Установить время интегр. мощности"), GroupTask);
    CheckComment = check("CheckComment", QStringLiteral("Описание"), GroupTask);
    CheckPassword = check("CheckPassword", QStringLiteral("Записать новый пароль"), GroupTask);
    CheckIndi = check("CheckIndi", QStringLiteral("Установить индикацию"), GroupTask);
    CheckTime->setChecked(true);
    auto *taskLayout = new QVBoxLayout(GroupTask);
    for (QCheckBox *box : {CheckAddr, CheckTime, CheckShedule, CheckResetTariff, CheckIntegra, CheckComment,
                           CheckPassword, CheckIndi})
        taskLayout->addWidget(box);
    taskLayout->addStretch();

    QGroupBox *timeBox = group("GroupTime", QStringLiteral(" Время  "), page);
    TimePicker = new QTimeEdit(timeBox);
    TimePicker->setObjectName(QStringLiteral("TimePicker"));
    TimePicker->setDisplayFormat(text::longTimeFormat());
    DatePicker = new QDateEdit(timeBox);
    DatePicker->setObjectName(QStringLiteral("DatePicker"));
    DatePicker->setDisplayFormat(QStringLiteral("ddd d MMMM yyyy"));
    DatePicker->setCalendarPopup(true);
    DatePicker->setMinimumDate(QDate(2000, 1, 1));
    DatePicker->setMaximumDate(QDate(2099, 12, 31));
    CheckBoxClock = check("CheckBoxClock", QStringLiteral("Автопереход на летнее время"), timeBox);
    auto *timeLayout = new QVBoxLayout(timeBox);
    timeLayout->addWidget(TimePicker);
    timeLayout->addWidget(DatePicker);
    timeLayout->addWidget(CheckBoxClock);

    QGroupBox *billingBox = group("GroupBilling", QStringLiteral(" РДЧ "), page);
    SpinDay = spin("SpinDay", 1, 31, 1, billingBox);
    SpinHour = spin("SpinHour", 0, 23, 0, billingBox);
    auto *billingLayout = new QFormLayout(billingBox);
    billingLayout->addRow(QStringLiteral("Расчетный день:"), SpinDay);
    billingLayout->addRow(QStringLiteral("Расчетный час:"), SpinHour);

    QGroupBox *displayBox = group("GroupIndi", QStringLiteral(" Индикация "), page);
    CheckSetIndi = new QListWidget(displayBox);
    CheckSetIndi->setObjectName(QStringLiteral("CheckSetIndi"));
    for (const QString &text : meter::displayItemTexts()) {
        auto *item = new QListWidgetItem(text, CheckSetIndi);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    CheckSetIndi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *displayLayout = new QVBoxLayout(displayBox);
    displayLayout->addWidget(CheckSetIndi);

    QGroupBox *linkBox = group("GroupLink", QStringLiteral(" Параметры связи "), page);
    ComboModeW = dropDown("ComboModeW", meter::protocolTexts(), linkBox);
    SpinNewAddr = spin("SpinNewAddr", 0, 255, 1, linkBox);
    ComboNewBaud = dropDown("ComboNewBaud", meter::baudTexts(), linkBox);
    ComboNewBaud->setCurrentIndex(0);
    ComboParityW = dropDown("ComboParityW", meter::parityTexts(), linkBox);
    LabelParityW = new QLabel(QStringLiteral("Паритет:"), linkBox);
    LabelParityW->setObjectName(QStringLiteral("LabelParityW"));
    LabelParityW->setBuddy(ComboParityW);
    auto *linkLayout = new QFormLayout(linkBox);
    linkLayout->addRow(QStringLiteral("Тип протокола:"), ComboModeW);
    linkLayout->addRow(QStringLiteral("Новые адрес:"), SpinNewAddr);
    linkLayout->addRow(QStringLiteral("Скорость :"), ComboNewBaud);
    linkLayout->addRow(LabelParityW, ComboParityW);

    QGroupBox *integraBox = group("GroupIntegra", QStringLiteral(" Время интегрирования мощности "), page);
    SpinIntegra = spin("SpinIntegra", 1, 60, 1, integraBox);
    SpinLimitIntegra = spin("SpinLimitIntegra", 5, 60, 5, integraBox);
    auto *integraLayout = new QFormLayout(integraBox);
    integraLayout->addRow(QStringLiteral("Пиковой (мин): "), SpinIntegra);
    integraLayout->addRow(QStringLiteral("Перехода на штрафной тариф (сек): "), SpinLimitIntegra);

    QGroupBox *commentBox = group("GroupComment", QStringLiteral(" Описание "), page);
    EditComment = edit("EditComment", 48, commentBox);
    (new QVBoxLayout(commentBox))->addWidget(EditComment);

    QGroupBox *passwordBox = group("GroupPassword", QStringLiteral(" Новый пароль "), page);
    LabeledPassW = edit("LabeledPassW", 6, passwordBox);
    // Digits only; the field keeps exactly what is typed, and an empty field
    // sends the default password when the write starts.
    LabeledPassW->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), LabeledPassW));
    (new QFormLayout(passwordBox))->addRow(QStringLiteral("Установить пароль : "), LabeledPassW);

    QGroupBox *numberBox = group("GroupNumber", QStringLiteral(" Номер "), page);
    SpinEdit_Number = spin("SpinEdit_Number", 0, 131071, 0, numberBox);
    (new QFormLayout(numberBox))->addRow(QStringLiteral("№ :"), SpinEdit_Number);

    auto *layout = new QGridLayout(page);
    layout->addWidget(GroupTask, 0, 0);
    layout->addWidget(timeBox, 0, 1);
    layout->addWidget(linkBox, 0, 2);
    layout->addWidget(displayBox, 1, 0, 3, 1);
    layout->addWidget(billingBox, 1, 1);
    layout->addWidget(passwordBox, 1, 2);
    layout->addWidget(integraBox, 2, 1, 1, 2);
    layout->addWidget(commentBox, 3, 1);
    layout->addWidget(numberBox, 3, 2);
    layout->setRowStretch(5, 1); // row 4: the template buttons
}

void SettingsTab::setModes(bool production, bool master)
{
    m_production = production;
    m_master = master;
    m_owner.setProductionMode(production);
    CheckAddr->setChecked(production);
    // Outside master mode the number is shown but cannot be typed, and the
    // field takes the colour of the panel behind it.
    SpinEdit_Number->setReadOnly(!master);
    SpinEdit_Number->setButtonSymbols(master ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
    QPalette palette = SpinEdit_Number->parentWidget()->palette();
    if (!master)
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    SpinEdit_Number->setPalette(palette);
}

meter::SettingsValues SettingsTab::values() const
{
    meter::SettingsValues v;
    v.writeLink = CheckAddr->isChecked();
    v.writeTime = CheckTime->isChecked();
    v.writeBilling = CheckShedule->isChecked();
    v.resetTariff = CheckResetTariff->isChecked();
    v.writeIntegration = CheckIntegra->isChecked();
    v.writeDescription = CheckComment->isChecked();
    v.writePassword = CheckPassword->isChecked();
    v.writeDisplay = CheckIndi->isChecked();
    v.date = DatePicker->date();
    v.time = TimePicker->time();
    v.summerTime = CheckBoxClock->isChecked();
    v.billingDay = SpinDay->value();
    v.billingHour = SpinHour->value();
    for (int i = 0; i < CheckSetIndi->count(); ++i) {
        if (CheckSetIndi->item(i)->checkState() == Qt::Checked)
            v.displayMask |= quint8(1u << i);
    }
    v.protocol = ComboModeW->currentIndex() == 1 ? link::Protocol::Modbus : link::Protocol::Rs485;
    v.newAddress = SpinNewAddr->value();
    v.baudIndex = ComboNewBaud->currentIndex();
    v.parityIndex = ComboParityW->currentIndex();
    v.peakMinutes = SpinIntegra->value();
    v.penaltySeconds = SpinLimitIntegra->value();
    v.description = EditComment->text();
    v.newPassword = LabeledPassW->text();
    v.number = static_cast<quint32>(SpinEdit_Number->value());
    return v;
}

void SettingsTab::ActionSettingExecute()
{
    // Pickers that follow the clock show it to the second when the write starts.
    TimerDateTimer();
    const auto start = m_owner.ActionSettingExecute(m_accessPassword ? m_accessPassword() : QString());
    if (start == meter::SettingsOwner::Start::InvalidPassword)
        showInvalidPassword(m_message, m_page);
    else if (start == meter::SettingsOwner::Start::UnwritableDescription)
        showTabMessage(m_message, m_page, QMessageBox::Critical, QStringLiteral("Ошибка записи"), m_owner.refusalText());
}

void SettingsTab::TimerDateTimer()
{
    const QDateTime now = m_now();
    m_following = true;
    if (!m_dateEdited)
        DatePicker->setDate(now.date());
    if (!m_timeEdited)
        TimePicker->setTime(now.time());
    m_following = false;
}

void SettingsTab::TimePickerChange(QObject *picker)
{
    if (m_following)
        return;
    if (picker == TimePicker)
        m_timeEdited = true;
    else
        m_dateEdited = true;
}

void SettingsTab::ComboModeWChange()
{
    const bool modbus = ComboModeW->currentIndex() == 1;
    ComboParityW->setVisible(modbus);
    LabelParityW->setVisible(modbus);
}

void SettingsTab::setValues(const meter::SettingsValues &v, bool fixedClock)
{
    CheckAddr->setChecked(v.writeLink);
    CheckTime->setChecked(v.writeTime);
    CheckShedule->setChecked(v.writeBilling);
    CheckResetTariff->setChecked(v.resetTariff);
    CheckIntegra->setChecked(v.writeIntegration);
    CheckComment->setChecked(v.writeDescription);
    CheckPassword->setChecked(v.writePassword);
    CheckIndi->setChecked(v.writeDisplay);
    if (v.writeLink) {
        ComboModeW->setCurrentIndex(v.protocol == link::Protocol::Modbus ? 1 : 0);
        SpinNewAddr->setValue(v.newAddress);
        ComboNewBaud->setCurrentIndex(v.baudIndex);
        if (v.protocol == link::Protocol::Modbus)
            ComboParityW->setCurrentIndex(v.parityIndex);
    }
    if (v.writeTime) {
        CheckBoxClock->setChecked(v.summerTime);
        if (fixedClock) {
            // Set by hand: the pickers stop following the clock.
            DatePicker->setDate(v.date);
            TimePicker->setTime(v.time);
        } else {
            followClock();
        }
    }
    if (v.writeBilling) {
        SpinDay->setValue(v.billingDay);
        SpinHour->setValue(v.billingHour);
    }
    if (v.writeDisplay) {
        for (int i = 0; i < CheckSetIndi->count(); ++i)
            CheckSetIndi->item(i)->setCheckState((v.displayMask >> i) & 1 ? Qt::Checked : Qt::Unchecked);
    }
    if (v.writeIntegration) {
        SpinIntegra->setValue(v.peakMinutes);
        SpinLimitIntegra->setValue(v.penaltySeconds);
    }
    if (v.writeDescription)
        EditComment->setText(v.description);
    if (v.writePassword)
        LabeledPassW->setText(v.newPassword);
    // The number has no tick: a number above 0 is written to a meter without one.
    SpinEdit_Number->setValue(static_cast<int>(v.number));
}

bool SettingsTab::clockFixed() const
{
    return m_timeEdited || m_dateEdited;
}

void SettingsTab::showScannedNumber(int number)
{
    SpinEdit_Number->setValue(number);
}

void SettingsTab::SpinEdit_NumberChange()
{
    // At a production bench the new address is the last two digits of the number.
    const int number = SpinEdit_Number->value();
    if (m_production && SpinEdit_Number->isEnabled() && number > 0 && CheckAddr->isChecked())
        SpinNewAddr->setValue(number % 100);
}

void SettingsTab::followClock()
{
    m_timeEdited = false;
    m_dateEdited = false;
    TimerDateTimer();
}

void SettingsTab::meterInfoReset()
{
    followClock();
    if (m_page->isVisible() && SpinEdit_Number->isEnabled())
        SpinEdit_Number->setFocus();
}

void SettingsTab::meterNumberRead(quint32 number, bool isNew)
{
    SpinEdit_Number->setEnabled(number == 0);
    if (m_production && isNew && number != 0)
        SpinEdit_Number->setValue(static_cast<int>(number));
}

} // namespace kelvar::app
