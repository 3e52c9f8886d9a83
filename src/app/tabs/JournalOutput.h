#pragma once
// The export and print buttons of the journal pages: "Экспорт" writes the
// page's list to a workbook (.xls, .xlsx) or a CSV file the operator names
// and opens it with the desktop's program; "Печать" prints the list after
// the print dialog, and its context menu offers a print preview. It receives
// the buttons and, per journal, where its rows and meter number come from.

#include "app/tabs/TabMessages.h"
#include "export/GridExport.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>

class QAbstractButton;
class QAbstractItemView;
class QPrinter;
class QWidget;

namespace kelvar::app {

class JournalOutput : public QObject
{
    Q_OBJECT
public:
    // A journal's list as the grid to export or print, taken when asked.
    using GridSource = std::function<exporting::TextGrid()>;
    // The meter number the list was read from.
    using NumberSource = std::function<qint64()>;

    explicit JournalOutput(QWidget *parent);
    ~JournalOutput() override;

    // Binds a journal's two buttons, both enabled: without a printer the
    // print button saves the printout as a PDF file.
    void addJournal(exporting::JournalKind journal, QAbstractButton *exportButton, QAbstractButton *printButton,
                    GridSource grid, NumberSource number);
    // The grid of what a list view shows (ListViewToGrid of its model).
    static GridSource listGrid(const QAbstractItemView *list);

    // Tests replace the dialogs and the desktop: the save dialog returns the
    // chosen path and format (empty path: cancelled), the print dialog
    // whether to print, the preview is shown with the printer.
    struct SaveChoice {
        QString path;
        exporting::ExportFormat format = exporting::ExportFormat::Xls;
    };
    void setFileChooser(std::function<SaveChoice()> chooser) { m_choose = std::move(chooser); }
    // Without a printer "Печать" asks for a PDF file instead (empty: cancelled).
    void setPdfChooser(std::function<QString(const QString &suggested)> chooser) { m_choosePdf = std::move(chooser); }
    void setPrintDialog(std::function<bool(QPrinter &)> dialog) { m_printDialog = std::move(dialog); }
    void setPreview(std::function<void(QPrinter &, std::function<void(QPrinter &)>)> preview)
    {
        m_preview = std::move(preview);
    }
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { m_open = std::move(opener); }
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    void setPrinterAvailable(bool available);
    void setClock(std::function<QDateTime()> clock) { m_now = std::move(clock); }

    // The printer every printout goes to; it keeps the orientation and the
    // printer chosen for the rest of the run.
    QPrinter &printer();

    void exportJournal(exporting::JournalKind journal);
    void printJournal(exporting::JournalKind journal);
    void previewJournal(exporting::JournalKind journal);

    // The path with the format's extension unless it names one of the
    // export extensions already; the format a path names by its extension.
    static SaveChoice resolveChoice(const QString &path, exporting::ExportFormat filterFormat);

private:
    struct Journal {
        QAbstractButton *exportButton = nullptr;
        QAbstractButton *printButton = nullptr;
        GridSource grid;
        NumberSource number;
    };

    SaveChoice SaveDialog();
    bool PrintDialog(QPrinter &printer);
    void PreviewDialog(QPrinter &printer, std::function<void(QPrinter &)> paint);

    QWidget *m_parent;
    std::map<exporting::JournalKind, Journal> m_journals;
    bool m_printerAvailable;
    std::unique_ptr<QPrinter> m_printer;
    std::function<SaveChoice()> m_choose;
    std::function<bool(QPrinter &)> m_printDialog;
    std::function<QString(const QString &)> m_choosePdf;
    std::function<void(QPrinter &, std::function<void(QPrinter &)>)> m_preview;
    std::function<bool(const QUrl &)> m_open;
    std::function<QDateTime()> m_now;
    MessageHandler m_message;
};

} // namespace kelvar::app
