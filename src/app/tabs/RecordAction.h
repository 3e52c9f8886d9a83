#pragma once
// ActionRecord ("Протокол программирования..."): reads the meter's whole
// schedule (with the schedule's progress bar) and shows the programming
// record in a print preview with "Печать" and "Сохранить PDF". The record is
// gathered and drawn by the core (report/); this class only starts the read
// and binds the dialog's buttons.

#include "app/tabs/TabMessages.h"
#include "meter/MeterRead.h"
#include "report/ProgrammingRecord.h"

#include <QDialog>
#include <QObject>

#include <functional>
#include <memory>

class QPrinter;
class QPrintPreviewWidget;
class QPushButton;

namespace kelvar::link { class ExchangeEngine; }
namespace kelvar::meter { class MeterInfo; class ResponseDispatcher; }
namespace kelvar::schedule { class ScheduleExchange; }

namespace kelvar::app {

// The preview of one record: the pages as they print, "Печать" (the print
// dialog; without a printer it saves a PDF instead), "Сохранить PDF" and
// "Закрыть".
class RecordPreview : public QDialog
{
    Q_OBJECT
public:
    RecordPreview(const report::ProgrammingRecord &record, QWidget *parent = nullptr);
    ~RecordPreview() override;

    // The file dialog for the PDF (empty: cancelled) and the print dialog;
    // tests replace them.
    void setFileChooser(std::function<QString(const QString &suggested)> chooser) { m_choose = std::move(chooser); }
    void setPrintDialog(std::function<bool(QPrinter &)> dialog) { m_printDialog = std::move(dialog); }
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    void setPrinterAvailable(bool available) { m_printerAvailable = available; }

    void BtnPrintClick();
    // Saves the record as a PDF at a path the operator chooses; false when
    // cancelled or when it cannot be written (the operator is told).
    bool BtnSavePdfClick();

private:
    QPushButton *BtnRecordPrint = nullptr;
    QPushButton *BtnRecordPdf = nullptr;
    QPushButton *BtnRecordClose = nullptr;
    QPrintPreviewWidget *PreviewRecord = nullptr;
    report::ProgrammingRecord m_record;
    std::unique_ptr<QPrinter> m_printer;
    std::function<QString(const QString &)> m_choose;
    std::function<bool(QPrinter &)> m_printDialog;
    MessageHandler m_message;
    bool m_printerAvailable;
};

class RecordAction : public QObject
{
    Q_OBJECT
public:
    RecordAction(schedule::ScheduleExchange &exchange, meter::ResponseDispatcher &dispatcher, meter::MeterInfo &info,
                 link::ExchangeEngine &engine, QWidget *dialogParent);

    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    // Where the progress bar shows (the schedule page).
    void setShowProgress(std::function<void()> show) { m_showProgress = std::move(show); }
    // Workstation, operator and the tariff colours the editor paints with.
    void setContext(std::function<report::ReadContext()> context) { m_context = std::move(context); }
    // Shows the preview; tests replace it to see the record.
    void setPreview(std::function<void(const report::ProgrammingRecord &)> preview) { m_preview = std::move(preview); }

    // Waits for one whole poll cycle of fresh values, then reads the schedule.
    void ActionRecordExecute();

private:
    void cycleComplete();
    void finished(bool ok, const QString &error);

    schedule::ScheduleExchange &m_exchange;
    const meter::MeterInfo &m_info;
    link::ExchangeEngine &m_engine;
    QWidget *m_parent;
    MessageHandler m_message;
    std::function<void()> m_showProgress;
    std::function<report::ReadContext()> m_context;
    std::function<void(const report::ProgrammingRecord &)> m_preview;
    meter::PollCycleWatch m_watch;
    bool m_reading = false; // the read running is this action's
};

} // namespace kelvar::app
