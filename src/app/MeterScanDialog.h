#pragma once
// "Поиск счетчиков на линии": runs the meter scan on the link's line and
// shows it as it goes: a progress bar, the list of meters filling up
// (address, type, serial number, software version, and a note for an
// address that answered only in part), "Стоп" to end it early. A double
// click on a meter, or "Выбрать", picks its address; the window then sets
// it and connects to that meter.

#include "meter/MeterScan.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QAction;
class QLabel;
class QSpinBox;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::app {

class MeterScanDialog : public QDialog
{
    Q_OBJECT
public:
    // Columns of the list.
    enum Column { ColumnAddress, ColumnType, ColumnNumber, ColumnVersion, ColumnNote, ColumnCount };
    static const QString UnsureNote;  // the note of an address that answered only in part

    MeterScanDialog(link::LineLender &link, QWidget *parent = nullptr);
    ~MeterScanDialog() override;

    // Starts the scan; false (with the reason shown in the dialog) when the
    // link cannot lend its line now.
    bool startScan(const meter::ScanSettings &settings);
    meter::MeterScan &scan() { return m_scan; }

signals:
    // The operator picked the meter at this address.
    void meterChosen(int address);

protected:
    void done(int result) override; // closing stops a scan under way

private:
    void addMeter(const meter::ScannedMeter &meter);
    void showProgress(int done, int total);
    void scanFinished(bool stopped);
    void choose();
    void updateButtons();

    meter::MeterScan m_scan;
    QProgressBar *ProgressScan;
    QLabel *LabelScanState;
    QTreeWidget *ListMeters;
    QPushButton *BtnScanStop;
    QPushButton *BtnScanChoose;
    QPushButton *BtnScanClose;
    int m_total = 0;
};

// "Поиск счетчиков на линии" (menu "Связь"): opens the dialog on the line
// the engine lends, with the whole address range; the meter picked becomes the
// link's address (the address spin box) and the link connects to it.
class LineScanAction : public QObject
{
    Q_OBJECT
public:
    LineScanAction(link::ExchangeEngine &engine, std::function<void(int)> setAddress, QAction *connectAction,
                   QWidget *window);
    ~LineScanAction() override; // closes the dialog, ending its scan
    QAction *action() const { return m_action; }
    MeterScanDialog *dialog() const { return m_dialog; } // the open dialog, if any
    void open();

private:
    void choose(int address);

    link::ExchangeEngine &m_engine;
    std::function<void(int)> m_setAddress;
    QAction *m_connect;
    QWidget *m_window;
    QAction *m_action;
    QPointer<MeterScanDialog> m_dialog;
};

} // namespace kelvar::app
