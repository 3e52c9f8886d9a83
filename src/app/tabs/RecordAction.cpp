#include "RecordAction.h"

#include "app/tabs/GridPrinter.h"
#include "link/ExchangeEngine.h"
#include "report/RecordDocument.h"
#include "schedule/ScheduleExchange.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvar::app {

using schedule::ScheduleExchange;

namespace {

const QString ErrorTitle = QStringLiteral("Ошибка");

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(caption);
    return b;
}

} // namespace

RecordPreview::RecordPreview(const report::ProgrammingRecord &record, QWidget *parent)
    : QDialog(parent)
    , m_record(record)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
    , m_choose([this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить PDF"), suggested,
                                            QStringLiteral("Документы PDF (*.pdf)"));
    })
    , m_printDialog([this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(QStringLiteral("PrintDialog"));
        return dialog.exec() == QDialog::Accepted;
    })
    , m_printerAvailable(IsPrinterAvailable())
{
    setObjectName(QStringLiteral("RecordPreview"));
    setWindowTitle(report::recordTitle() + QStringLiteral(" № ") + record.serialNumber);
    PreviewRecord = new QPrintPreviewWidget(m_printer.get(), this);
    PreviewRecord->setObjectName(QStringLiteral("PreviewRecord"));
    PreviewRecord->setAccessibleName(report::recordTitle());
    connect(PreviewRecord, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter *printer) { report::paintRecord(m_record, *printer); });

    BtnRecordPrint = button("BtnRecordPrint", QStringLiteral("Печать"), this);
    BtnRecordPdf = button("BtnRecordPdf", QStringLiteral("Сохранить PDF"), this);
    BtnRecordClose = button("BtnRecordClose", QStringLiteral("Закрыть"), this);
    connect(BtnRecordPrint, &QPushButton::clicked, this, &RecordPreview::BtnPrintClick);
    connect(BtnRecordPdf, &QPushButton::clicked, this, &RecordPreview::BtnSavePdfClick);
    connect(BtnRecordClose, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BtnRecordPrint);
    buttons->addWidget(BtnRecordPdf);
    buttons->addStretch();
    buttons->addWidget(BtnRecordClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PreviewRecord, 1);
    layout->addLayout(buttons);
    resize(760, 900);
    PreviewRecord->fitToWidth();
}

RecordPreview::~RecordPreview() = default;

void RecordPreview::BtnPrintClick()
{
    // Without a printer "Печать" saves a PDF instead of staying grey.
    if (!m_printerAvailable) {
        BtnSavePdfClick();
        return;
    }
    if (m_printDialog(*m_printer))
        report::paintRecord(m_record, *m_printer);
}

bool RecordPreview::BtnSavePdfClick()
{
    const QString suggested = QDir::home().filePath(QStringLiteral("protocol-%1.pdf").arg(m_record.serialNumber));
    QString path = m_choose(suggested);
    if (path.isEmpty())
        return false;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    QString error;
    if (!report::writeRecordPdf(m_record, path, &error)) {
        showTabMessage(m_message, this, QMessageBox::Warning, ErrorTitle,
                       QStringLiteral("Файл не может быть создан: %1").arg(error));
        return false;
    }
    return true;
}

RecordAction::RecordAction(ScheduleExchange &exchange, meter::ResponseDispatcher &dispatcher, meter::MeterInfo &info,
                           link::ExchangeEngine &engine, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_exchange(exchange)
    , m_info(info)
    , m_engine(engine)
    , m_parent(dialogParent)
    , m_context(&report::thisWorkstation)
    , m_preview([this](const report::ProgrammingRecord &record) {
        RecordPreview preview(record, m_parent);
        preview.setMessageHandler(m_message);
        preview.exec();
    })
    , m_watch(dispatcher, info)
{
    setObjectName(QStringLiteral("RecordAction"));
    connect(&exchange, &ScheduleExchange::finished, this, &RecordAction::finished);
    connect(&m_watch, &meter::PollCycleWatch::cycleComplete, this, &RecordAction::cycleComplete);
    connect(&engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (!connected)
            m_watch.stop(); // the values are not read; the link's own message says why
    });
}

void RecordAction::ActionRecordExecute()
{
    if (m_showProgress)
        m_showProgress();
    // Every value the record shows is read afresh first (one poll cycle, the
    // checksum the meter reports among them); without a link the schedule
    // read refuses with its usual message.
    if (!m_engine.isConnected()) {
        cycleComplete();
        return;
    }
    m_watch.start();
}

void RecordAction::cycleComplete()
{
    m_watch.stop();
    if (m_exchange.startRead() != ScheduleExchange::Start::Started) {
        showTabMessage(m_message, m_parent, QMessageBox::Warning, ErrorTitle, m_exchange.refusalText());
        return;
    }
    m_reading = true;
}

void RecordAction::finished(bool ok, const QString &error)
{
    if (!std::exchange(m_reading, false) || m_exchange.lastOperation() != ScheduleExchange::Operation::Read)
        return;
    if (!ok) {
        showTabMessage(m_message, m_parent, QMessageBox::Warning, ErrorTitle, error);
        return;
    }
    QString reason;
    const auto record = report::recordOfRead(m_info, m_engine, m_exchange, m_context(), &reason);
    if (!record) {
        showTabMessage(m_message, m_parent, QMessageBox::Warning, ErrorTitle,
                       QStringLiteral("Расписание счетчика не принято: %1").arg(reason));
        return;
    }
    m_preview(*record);
}

} // namespace kelvar::app
