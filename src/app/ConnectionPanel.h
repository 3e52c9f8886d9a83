#pragma once
// The connection panel under the tool bar and the port and speed menus:
// protocol type, port, baud rate, address, time-out, MODBUS parity, access
// password and the scanner panel. Keeps the combo boxes, the radio menus and
// the exchange engine in step.

#include "app/AppSettings.h"
#include "scanner/ScannerPort.h"

#include <QWidget>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;

namespace kelvar::link {
class ExchangeEngine;
enum class Protocol;
}

namespace kelvar::app {

class ConnectionPanel : public QWidget
{
    Q_OBJECT
public:
    ConnectionPanel(link::ExchangeEngine &engine, QWidget *parent = nullptr);

    // The radio menus of the port ("&Порт") and the speed ("&Скорость").
    QMenu *portMenu() const { return NPort; }
    QMenu *baudMenu() const { return NBaud; }
    // The scanner panel's settings ("Сканер:", "Включен"); the panel is shown
    // in production mode only.
    scanner::ScannerSettings scannerSettings() const;
    void setScannerVisible(bool visible);

    // Takes the stored values (before the port lists are filled).
    void applySettings(const AppSettings &settings);
    // Fills the port lists and menu, selecting the saved ports: by name when
    // one was saved and is listed, else the port whose number is the saved
    // one. extraPort (a device given on the command line) is added when not
    // listed and selected.
    void EnumerateSerialPorts(const QStringList &ports, const AppSettings &saved, const QString &extraPort = {});
    // What is kept at exit.
    void storeSettings(AppSettings &settings) const;

    // The access password as typed (LabeledPass2).
    QString accessPassword() const;

    int meterPortNumber() const { return m_meterPort; }
    int scanerPortNumber() const { return m_scanerPort; }

    // The meter's address as if typed into SpinAddr (a meter picked by the scan).
    void setAddress(int address);

    // While connected the port, speed and protocol type stay as they are.
    void setConnected(bool connected);

    void ComboModeChange();
    void ComboPortChange();
    void PortMenuItemClick(QAction *item);
    void ComboBaudChange();
    void N12001Click(QAction *item);
    void SpinTimerChange();

signals:
    // The operator switched the scanner on or off, or chose another scanner port.
    void scannerSwitched(bool on);
    void scannerPortChosen(const QString &port);

private:
    void addPort(const QString &name);
    void showLinkParameters(int address, int baudIndex, link::Protocol protocol, int parityIndex);

    QComboBox *ComboMode;
    QComboBox *ComboPort;
    QComboBox *ComboBaud;
    QSpinBox *SpinAddr;
    QSpinBox *SpinTimer;
    QSpinBox *SpinPause; // "Пауза между запросами, мсек", 0..50
    QLabel *LabelParity;
    QComboBox *ComboParity;
    QLineEdit *LabeledPass2;
    QWidget *PanelScaner;
    QComboBox *ComboScaner;
    QCheckBox *CheckScaner;
    QMenu *NPort;  // "&Порт": one radio item per port
    QMenu *NBaud;  // "&Скорость": "4800" .. "38400", tags 0..3

    link::ExchangeEngine &m_engine;
    QActionGroup *m_portGroup;
    QActionGroup *m_baudGroup;
    int m_meterPort = 1;
    int m_scanerPort = 2;
};

} // namespace kelvar::app
