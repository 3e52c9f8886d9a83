#include "JournalOutput.h"

#include "app/tabs/GridPrinter.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace kelvar::app {

using exporting::ExportFormat;

namespace {

struct FilterEntry {
    ExportFormat format;
    const char *filter;
    const char *suffix;
};

// The save dialog's types, the workbook of the original program first.
constexpr FilterEntry kFilters[] = {
    {ExportFormat::Xls, "xls (*.xls)", "xls"},
    {ExportFormat::Xlsx, "Excel 2007+ (*.xlsx)", "xlsx"},
    {ExportFormat::Csv, "CSV (*.csv)", "csv"},
};

const FilterEntry &entryOf(ExportFormat format)
{
    for (const FilterEntry &e : kFilters) {
        if (e.format == format)
            return e;
    }
    return kFilters[0];
}

} // namespace

JournalOutput::JournalOutput(QWidget *parent)
    : QObject(parent)
    , m_parent(parent)
    , m_printerAvailable(IsPrinterAvailable())
    , m_choose([this] { return SaveDialog(); })
    , m_printDialog([this](QPrinter &p) { return PrintDialog(p); })
    , m_choosePdf([this](const QString &suggested) {
        return QFileDialog::getSaveFileName(m_parent, QStringLiteral("Сохранить PDF"), suggested,
                                            QStringLiteral("Документы PDF (*.pdf)"));
    })
    , m_preview([this](QPrinter &p, std::function<void(QPrinter &)> paint) { PreviewDialog(p, std::move(paint)); })
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , m_now([] { return QDateTime::currentDateTime(); })
{
}

JournalOutput::~JournalOutput() = default;

void JournalOutput::addJournal(exporting::JournalKind journal, QAbstractButton *exportButton,
                               QAbstractButton *printButton, GridSource grid, NumberSource number)
{
    m_journals[journal] = Journal{exportButton, printButton, std::move(grid), std::move(number)};
    if (exportButton)
        connect(exportButton, &QAbstractButton::clicked, this, [this, journal] { exportJournal(journal); });
    if (printButton) {
        connect(printButton, &QAbstractButton::clicked, this, [this, journal] { printJournal(journal); });
        auto *preview = new QAction(QStringLiteral("Предварительный просмотр..."), printButton);
        preview->setObjectName(printButton->objectName() + QStringLiteral("Preview"));
        connect(preview, &QAction::triggered, this, [this, journal] { previewJournal(journal); });
        printButton->addAction(preview);
        printButton->setContextMenuPolicy(Qt::ActionsContextMenu);
        // Enabled with or without a printer: without one it saves a PDF.
        printButton->setEnabled(true);
    }
}

JournalOutput::GridSource JournalOutput::listGrid(const QAbstractItemView *list)
{
    return [list] { return exporting::ListViewToGrid(*list->model()); };
}

void JournalOutput::setPrinterAvailable(bool available)
{
    m_printerAvailable = available;
}

QPrinter &JournalOutput::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

JournalOutput::SaveChoice JournalOutput::resolveChoice(const QString &path, ExportFormat filterFormat)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const FilterEntry &e : kFilters) {
        if (suffix == QLatin1String(e.suffix))
            return {path, e.format};
    }
    return {path + QLatin1Char('.') + QLatin1String(entryOf(filterFormat).suffix), filterFormat};
}

JournalOutput::SaveChoice JournalOutput::SaveDialog()
{
    QFileDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("SaveXlsDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const FilterEntry &e : kFilters)
        filters << QLatin1String(e.filter);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        for (const FilterEntry &e : kFilters) {
            if (filter == QLatin1String(e.filter))
                dialog.setDefaultSuffix(QLatin1String(e.suffix));
        }
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    ExportFormat format = ExportFormat::Xls;
    for (const FilterEntry &e : kFilters) {
        if (dialog.selectedNameFilter() == QLatin1String(e.filter))
            format = e.format;
    }
    return resolveChoice(dialog.selectedFiles().constFirst(), format);
}

void JournalOutput::exportJournal(exporting::JournalKind journal)
{
    const auto it = m_journals.find(journal);
    if (it == m_journals.end())
        return;
    // The list is copied at the click: a read going on while the dialog is
    // open does not change what is exported.
    const exporting::TextGrid grid = it->second.grid();
    const QString title = exporting::exportTitle(journal, it->second.number());
    const SaveChoice choice = m_choose();
    if (choice.path.isEmpty())
        return;
    const exporting::ExportResult result = exporting::exportGrid(grid, title, choice.path, choice.format);
    if (!result.ok) {
        showTabMessage(m_message, m_parent, QMessageBox::Warning, QStringLiteral("Предупреждение"),
                       QStringLiteral("Файл не может быть создан в указанной директории, или файл с таким "
                                      "именем сейчас открыт!"));
        return;
    }
    if (result.skippedCells > 0) {
        showTabMessage(m_message, m_parent, QMessageBox::Information, QStringLiteral("Экспорт"),
                       QStringLiteral("Файл сохранен, но не все значения поместились в него: пропущено "
                                      "ячеек: %1.").arg(result.skippedCells));
    }
    m_open(QUrl::fromLocalFile(QFileInfo(choice.path).absoluteFilePath())); // a file that cannot be shown is no error
}

bool JournalOutput::PrintDialog(QPrinter &printer)
{
    QPrintDialog dialog(&printer, m_parent);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    return dialog.exec() == QDialog::Accepted;
}

void JournalOutput::PreviewDialog(QPrinter &printer, std::function<void(QPrinter &)> paint)
{
    QPrintPreviewDialog dialog(&printer, m_parent);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&paint](QPrinter *p) { paint(*p); });
    dialog.exec();
}

void JournalOutput::printJournal(exporting::JournalKind journal)
{
    const auto it = m_journals.find(journal);
    if (it == m_journals.end())
        return;
    if (!m_printerAvailable) {
        // No printer: the printout goes to a PDF file the operator names.
        const QString title = exporting::printTitle(journal, it->second.number());
        QString path = m_choosePdf(QDir::home().filePath(title.trimmed() + QStringLiteral(".pdf")));
        if (path.isEmpty())
            return;
        if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            path += QStringLiteral(".pdf");
        const exporting::TextGrid grid = it->second.grid();
        const QDateTime now = m_now();
        if (!printToPdf(path, [&](QPrinter &p) { return PrintGrid(p, grid, title, now); }))
            showTabMessage(m_message, m_parent, QMessageBox::Warning, QStringLiteral("Предупреждение"),
                           QStringLiteral("Файл не может быть создан в указанной директории, или файл с таким "
                                          "именем сейчас открыт!"));
        return;
    }
    if (!m_printDialog(printer()))
        return;
    // The list is copied after the dialog: what it shows now is printed.
    PrintGrid(printer(), it->second.grid(), exporting::printTitle(journal, it->second.number()), m_now());
}

void JournalOutput::previewJournal(exporting::JournalKind journal)
{
    const auto it = m_journals.find(journal);
    if (it == m_journals.end())
        return;
    const exporting::TextGrid grid = it->second.grid();
    const QString title = exporting::printTitle(journal, it->second.number());
    const QDateTime now = m_now();
    m_preview(printer(), [&](QPrinter &p) { PrintGrid(p, grid, title, now); });
}

} // namespace kelvar::app
