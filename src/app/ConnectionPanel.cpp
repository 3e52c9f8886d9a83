#include "ConnectionPanel.h"

#include "Controls.h"

#include "link/ExchangeEngine.h"
#include "link/LinkPacing.h"
#include "meter/SettingsBatch.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>

namespace kelvar::app {

using link::Protocol;

namespace {

QLabel *caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

ConnectionPanel::ConnectionPanel(link::ExchangeEngine &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("PanelConnect"));

    ComboMode = dropDown("ComboMode", meter::protocolTexts(), this);
    QFont bold = ComboMode->font();
    bold.setBold(true);
    ComboMode->setFont(bold);
    ComboPort = dropDown("ComboPort", {}, this);
    ComboPort->setMinimumWidth(110);
    ComboPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ComboBaud = dropDown("ComboBaud", meter::baudTexts(), this);
    SpinAddr = new QSpinBox(this);
    SpinAddr->setObjectName(QStringLiteral("SpinAddr"));
    SpinAddr->setRange(0, 255);
    SpinTimer = new QSpinBox(this);
    SpinTimer->setObjectName(QStringLiteral("SpinTimer"));
    SpinTimer->setRange(200, 30000);
    SpinTimer->setSingleStep(100);
    SpinTimer->setValue(link::ExchangeEngine::DefaultTimeout);
    SpinPause = new QSpinBox(this);
    SpinPause->setObjectName(QStringLiteral("SpinPause"));
    SpinPause->setRange(link::MinRequestPause, link::MaxRequestPause);
    SpinPause->setValue(link::DefaultRequestPause);
    SpinPause->setToolTip(QStringLiteral("Не меньше паузы в 3,5 символа, которая нужна счетчику для конца кадра"));
    ComboParity = dropDown("ComboParity", meter::parityTexts(), this);
    LabelParity = caption(QStringLiteral("Паритет:"), ComboParity, this);
    LabelParity->setObjectName(QStringLiteral("LabelParity"));
    LabeledPass2 = new QLineEdit(meter::defaultPasswordText(), this);
    LabeledPass2->setObjectName(QStringLiteral("LabeledPass2"));
    LabeledPass2->setMaxLength(5);
    LabeledPass2->setMaximumWidth(70);

    PanelScaner = new QWidget(this);
    PanelScaner->setObjectName(QStringLiteral("PanelScaner"));
    ComboScaner = dropDown("ComboScaner", {}, PanelScaner);
    ComboScaner->setMinimumWidth(90);
    CheckScaner = new QCheckBox(QStringLiteral("Включен"), PanelScaner);
    CheckScaner->setObjectName(QStringLiteral("CheckScaner"));
    auto *scanerLayout = new QHBoxLayout(PanelScaner);
    scanerLayout->setContentsMargins(0, 0, 0, 0);
    scanerLayout->addWidget(caption(QStringLiteral("Сканер:"), ComboScaner, PanelScaner));
    scanerLayout->addWidget(ComboScaner);
    scanerLayout->addWidget(CheckScaner);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(2);
    layout->addWidget(ComboMode, 0, 0);
    layout->addWidget(caption(QStringLiteral("Порт:"), ComboPort, this), 0, 1);
    layout->addWidget(ComboPort, 0, 2);
    layout->addWidget(caption(QStringLiteral("Скорость :"), ComboBaud, this), 0, 3);
    layout->addWidget(ComboBaud, 0, 4);
    layout->addWidget(caption(QStringLiteral("Адрес :"), SpinAddr, this), 0, 5);
    layout->addWidget(SpinAddr, 0, 6);
    layout->addWidget(caption(QStringLiteral("Таймаут :"), SpinTimer, this), 0, 7);
    layout->addWidget(SpinTimer, 0, 8);
    layout->addWidget(new QLabel(QStringLiteral("мсек"), this), 0, 9);
    layout->setColumnStretch(10, 1);
    // The second row is a line of its own: the pause caption is too long for
    // the first row at the window's fixed width, and the scanner panel shares
    // the second row's right end with it in production mode.
    auto *second = new QHBoxLayout;
    second->setSpacing(4);
    second->addWidget(LabelParity);
    second->addWidget(ComboParity);
    second->addWidget(caption(QStringLiteral("Пароль для доступа : "), LabeledPass2, this));
    second->addWidget(LabeledPass2);
    second->addStretch(1);
    second->addWidget(caption(QStringLiteral("Пауза между запросами, мсек"), SpinPause, this));
    second->addWidget(SpinPause);
    second->addWidget(PanelScaner);
    layout->addLayout(second, 1, 0, 1, 11);

    // The radio menus of the port and the speed.
    NPort = new QMenu(QStringLiteral("&Порт"), this);
    NPort->setObjectName(QStringLiteral("NPort"));
    m_portGroup = new QActionGroup(this);
    m_portGroup->setExclusive(true);
    NBaud = new QMenu(QStringLiteral("&Скорость"), this);
    NBaud->setObjectName(QStringLiteral("NBaud"));
    m_baudGroup = new QActionGroup(this);
    m_baudGroup->setExclusive(true);
    for (int tag = 0; tag < meter::baudTexts().size(); ++tag) {
        QAction *item = NBaud->addAction(meter::baudTexts()[tag]);
        item->setObjectName(QStringLiteral("NBaud%1").arg(meter::baudTexts()[tag]));
        item->setCheckable(true);
        item->setData(tag);
        m_baudGroup->addAction(item);
    }
    m_baudGroup->actions().first()->setChecked(true);

    connect(ComboMode, &QComboBox::currentIndexChanged, this, &ConnectionPanel::ComboModeChange);
    connect(ComboPort, &QComboBox::currentIndexChanged, this, &ConnectionPanel::ComboPortChange);
    connect(m_portGroup, &QActionGroup::triggered, this, &ConnectionPanel::PortMenuItemClick);
    connect(ComboBaud, &QComboBox::currentIndexChanged, this, &ConnectionPanel::ComboBaudChange);
    connect(m_baudGroup, &QActionGroup::triggered, this, &ConnectionPanel::N12001Click);
    connect(SpinTimer, &QSpinBox::valueChanged, this, &ConnectionPanel::SpinTimerChange);
    connect(SpinPause, &QSpinBox::valueChanged, &m_engine, &link::ExchangeEngine::setRequestPause);
    connect(SpinAddr, &QSpinBox::valueChanged, &m_engine, &link::ExchangeEngine::setAddress);
    connect(CheckScaner, &QCheckBox::clicked, this, &ConnectionPanel::scannerSwitched);
    connect(ComboScaner, &QComboBox::currentTextChanged, this, &ConnectionPanel::scannerPortChosen);
    connect(ComboParity, &QComboBox::currentIndexChanged, &m_engine, &link::ExchangeEngine::setParityIndex);
    // The engine moves the address itself (address search, six silences in
    // production mode) and switches the link after a confirmed write of new
    // link parameters.
    connect(&m_engine, &link::ExchangeEngine::addressChanged, SpinAddr, &QSpinBox::setValue);
    connect(&m_engine, &link::ExchangeEngine::linkParametersChanged, this, &ConnectionPanel::showLinkParameters);

    ComboModeChange();
}

scanner::ScannerSettings ConnectionPanel::scannerSettings() const
{
    return {ComboScaner->currentText(), CheckScaner->isChecked()};
}

void ConnectionPanel::setScannerVisible(bool visible)
{
    PanelScaner->setVisible(visible);
}

void ConnectionPanel::applySettings(const AppSettings &settings)
{
    SpinAddr->setValue(settings.address);
    ComboBaud->setCurrentIndex(settings.baudIndex);
    SpinTimer->setValue(settings.timeout);
    SpinPause->setValue(settings.pause);
    m_engine.setRequestPause(SpinPause->value());
    ComboParity->setCurrentIndex(settings.parity);
    ComboMode->setCurrentIndex(settings.mode);
    CheckScaner->setChecked(settings.scan);
    m_meterPort = settings.port;
    m_scanerPort = settings.scaner;
    ComboModeChange();
    SpinTimerChange();
}

void ConnectionPanel::storeSettings(AppSettings &settings) const
{
    settings.address = SpinAddr->value();
    settings.port = m_meterPort;
    settings.portName = ComboPort->currentText();
    settings.baudIndex = ComboBaud->currentIndex();
    settings.timeout = SpinTimer->value();
    settings.pause = SpinPause->value();
    settings.parity = ComboParity->currentIndex();
    settings.mode = ComboMode->currentIndex();
    settings.scaner = m_scanerPort;
    settings.scanerName = ComboScaner->currentText();
    settings.scan = CheckScaner->isChecked();
}

void ConnectionPanel::addPort(const QString &name)
{
    QAction *item = NPort->addAction(name);
    item->setCheckable(true);
    item->setData(name);
    m_portGroup->addAction(item);
    const QSignalBlocker blockPort(ComboPort);
    const QSignalBlocker blockScaner(ComboScaner);
    ComboPort->addItem(name);
    ComboScaner->addItem(name);
}

void ConnectionPanel::EnumerateSerialPorts(const QStringList &ports, const AppSettings &saved, const QString &extraPort)
{
    QStringList names = ports;
    if (!extraPort.isEmpty() && !names.contains(extraPort))
        names.append(extraPort);
    for (const QString &name : std::as_const(names))
        addPort(name);

    // The meter port: the one given, else the one saved by name, else by number.
    int meter = names.indexOf(extraPort.isEmpty() ? saved.portName : extraPort);
    for (int i = 0; meter < 0 && i < names.size(); ++i) {
        if (portNumber(names[i]) == saved.port)
            meter = i;
    }
    int scaner = saved.scanerName.isEmpty() ? -1 : int(names.indexOf(saved.scanerName));
    for (int i = 0; scaner < 0 && i < names.size(); ++i) {
        if (portNumber(names[i]) == saved.scaner)
            scaner = i;
    }
    {
        const QSignalBlocker block(ComboScaner);
        ComboScaner->setCurrentIndex(scaner);
    }
    {
        const QSignalBlocker block(ComboPort);
        ComboPort->setCurrentIndex(meter);
    }
    // Port numbers from the selections; names without a number keep the defaults.
    const int meterNumber = portNumber(ComboPort->currentText());
    m_meterPort = meterNumber >= 0 ? meterNumber : 1;
    const int scanerNumber = portNumber(ComboScaner->currentText());
    m_scanerPort = scanerNumber >= 0 ? scanerNumber : 2;
    if (meter >= 0) {
        m_portGroup->actions().at(meter)->setChecked(true);
        m_engine.setPortName(names[meter]);
    } else {
#ifdef Q_OS_WIN
        // No port selected: the default port 1 is used.
        m_engine.setPortName(QStringLiteral("COM%1").arg(m_meterPort));
#else
        // No port names follow a number here: rather than a port the operator
        // never chose, the link reports that there is none (and the controls
        // stay usable for a port given on the command line next time).
        m_engine.setPortName({});
#endif
    }
    if (names.isEmpty()) {
        ComboPort->setPlaceholderText(link::ExchangeEngine::NoSerialPortText);
        NPort->addAction(link::ExchangeEngine::NoSerialPortText)->setEnabled(false);
    }
    ComboBaudChange();
}

QString ConnectionPanel::accessPassword() const
{
    return LabeledPass2->text();
}

void ConnectionPanel::setConnected(bool connected)
{
    ComboPort->setEnabled(!connected);
    NPort->setEnabled(!connected);
    ComboBaud->setEnabled(!connected);
    NBaud->setEnabled(!connected);
    ComboMode->setEnabled(!connected);
}

void ConnectionPanel::ComboModeChange()
{
    const bool modbus = ComboMode->currentIndex() == 1;
    ComboParity->setVisible(modbus);
    LabelParity->setVisible(modbus);
    m_engine.setProtocol(modbus ? Protocol::Modbus : Protocol::Rs485);
    m_engine.setParityIndex(ComboParity->currentIndex());
}

void ConnectionPanel::ComboPortChange()
{
    const QString name = ComboPort->currentText();
    if (name.isEmpty())
        return;
    m_engine.setPortName(name);
    // A device without a number (Linux) keeps the last port number.
    const int number = portNumber(name);
    if (number >= 0)
        m_meterPort = number;
    const int index = ComboPort->currentIndex();
    if (index >= 0 && index < m_portGroup->actions().size())
        m_portGroup->actions().at(index)->setChecked(true);
}

void ConnectionPanel::PortMenuItemClick(QAction *item)
{
    item->setChecked(true);
    const int index = ComboPort->findText(item->data().toString(), Qt::MatchFixedString);
    if (index >= 0)
        ComboPort->setCurrentIndex(index);
}

void ConnectionPanel::ComboBaudChange()
{
    const int index = ComboBaud->currentIndex();
    if (index >= 0 && index < m_baudGroup->actions().size())
        m_baudGroup->actions().at(index)->setChecked(true);
    m_engine.setBaudIndex(index);
}

void ConnectionPanel::N12001Click(QAction *item)
{
    item->setChecked(true);
    ComboBaud->setCurrentIndex(item->data().toInt());
}

void ConnectionPanel::setAddress(int address)
{
    SpinAddr->setValue(address);
}

void ConnectionPanel::SpinTimerChange()
{
    m_engine.setTimeout(SpinTimer->value());
}

void ConnectionPanel::showLinkParameters(int address, int baudIndex, link::Protocol protocol, int parityIndex)
{
    SpinAddr->setValue(address);
    ComboBaud->setCurrentIndex(baudIndex);
    ComboParity->setCurrentIndex(parityIndex);
    ComboMode->setCurrentIndex(protocol == Protocol::Modbus ? 1 : 0);
    ComboModeChange();
}

} // namespace kelvar::app
