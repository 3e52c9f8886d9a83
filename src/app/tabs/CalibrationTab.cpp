#include "CalibrationTab.h"

#include "link/ExchangeEngine.h"
#include "meter/OperationLog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace kelvar::app {

CalibrationTab::CalibrationTab(QWidget *page, const TabServices &services)
    : QObject(page)
    , m_page(page)
    , m_owner(services.engine, services.dispatcher, services.state, services.log)
    , m_accessPassword(services.accessPassword)
    , m_message(services.message)
{
    BtnReadCalibr = new QPushButton(QStringLiteral("Прочитать"), page);
    BtnReadCalibr->setObjectName(QStringLiteral("BtnReadCalibr"));
    BtnWriteCalibr = new QPushButton(QStringLiteral("Записать"), page);
    BtnWriteCalibr->setObjectName(QStringLiteral("BtnWriteCalibr"));
    setControlsEnabled(false);

    auto *layout = new QGridLayout(page);
    const auto coefficient = [&](const char *name, const QString &caption, int row) {
        auto *box = new QSpinBox(page);
        box->setObjectName(QLatin1String(name));
        box->setRange(-32768, 32767);
        box->setValue(0);
        auto *label = new QLabel(caption, page);
        label->setBuddy(box);
        layout->addWidget(label, row, 0);
        layout->addWidget(box, row, 1);
        return box;
    };
    SpinCalibrA = coefficient("SpinCalibrA", QStringLiteral("Фаза А"), 0);
    SpinCalibrB = coefficient("SpinCalibrB", QStringLiteral("Фаза В"), 1);
    SpinCalibrC = coefficient("SpinCalibrC", QStringLiteral("Фаза С"), 2);
    layout->addWidget(BtnReadCalibr, 3, 0);
    layout->addWidget(BtnWriteCalibr, 3, 1);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(4, 1);

    // The log line shows the coefficients as the spin boxes show them.
    m_owner.setShownTexts([this] { return QStringList{SpinCalibrA->text(), SpinCalibrB->text(), SpinCalibrC->text()}; });
    connect(&m_owner, &meter::CalibrationOwner::coefficientsRead, this, [this](int a, int b, int c) {
        SpinCalibrA->setValue(a);
        SpinCalibrB->setValue(b);
        SpinCalibrC->setValue(c);
    });
    connect(BtnReadCalibr, &QPushButton::clicked, this, &CalibrationTab::BtnReadCalibrClick);
    connect(BtnWriteCalibr, &QPushButton::clicked, this, &CalibrationTab::BtnWriteCalibrClick);
    connect(&services.engine, &link::ExchangeEngine::EnableControls, this, &CalibrationTab::setControlsEnabled);
    // The engine shows the result on the indicator; a failure also gets a
    // message, opened from the event loop rather than inside the engine's handler.
    connect(&m_owner, &meter::CalibrationOwner::writeEnded, this,
            [this](bool written, const QString &message) {
                if (!written)
                    showTabMessage(m_message, m_page, QMessageBox::Critical, QStringLiteral("Ошибка"), message);
            },
            Qt::QueuedConnection);
}

void CalibrationTab::BtnReadCalibrClick()
{
    m_owner.BtnReadCalibrClick();
}

void CalibrationTab::BtnWriteCalibrClick()
{
    const meter::Coefficients values{SpinCalibrA->value(), SpinCalibrB->value(), SpinCalibrC->value()};
    const auto start = m_owner.BtnWriteCalibrClick(values, m_accessPassword ? m_accessPassword() : QString());
    if (start == meter::CalibrationOwner::WriteStart::InvalidPassword)
        showInvalidPassword(m_message, m_page);
}

void CalibrationTab::setControlsEnabled(bool enabled)
{
    BtnReadCalibr->setEnabled(enabled);
    BtnWriteCalibr->setEnabled(enabled);
}

} // namespace kelvar::app
