#include "export/GridExport.h"

#include "common/TextFormat.h"
#include "export/XlsxCheck.h"
#include "xls/TemplateStore.h"
#include "xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <clocale>
#include <string>

namespace kelvar::exporting {

namespace {

// Where the cells of a sheet go; rows and columns count from 1. A cell the
// format cannot hold returns false and the export goes on without it.
class CellSink {
public:
    virtual ~CellSink() = default;
    virtual bool text(int row, int column, const QString &text) = 0;
    virtual bool number(int row, int column, double value) = 0;
};

// Lays the title, the captions and the rows out on the sheet; returns the
// number of cells that could not be set.
int fillSheet(const TextGrid &grid, const QString &title, CellSink &sink)
{
    int skipped = 0;
    if (!sink.text(1, 1, title))
        ++skipped;
    for (int j = 2; j <= grid.columnCount; ++j) {
        if (!sink.text(1, j, QString()))
            ++skipped;
    }
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int j = 0; j < grid.columnCount; ++j) {
            const QString &text = grid.text(r, j);
            const std::optional<double> value = cellNumber(text);
            const bool set = value ? sink.number(r + 2, j + 1, *value) : sink.text(r + 2, j + 1, text);
            if (!set)
                ++skipped;
        }
    }
    return skipped;
}

ExportResult failed(const QString &error)
{
    ExportResult result;
    result.error = error;
    return result;
}

bool writeWhole(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot create \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

// --- Excel 97 -------------------------------------------------------------

class XlsSink : public CellSink {
public:
    explicit XlsSink(xls::Workbook &book) : book_(book) {}
    bool text(int row, int column, const QString &text) override { return book_.setText(row, column, text); }
    bool number(int row, int column, double value) override { return book_.setNumber(row, column, value); }

private:
    xls::Workbook &book_;
};

ExportResult exportXls(const TextGrid &grid, const QString &title, const QString &path)
{
    xls::TemplateStore store;
    if (!store.load(xls::TemplateStore::builtInImage()))
        return failed(store.errorString());
    const QString copy = workingCopyPath(path);
    if (copy.isEmpty())
        return failed(QStringLiteral("no free name for the working copy next to \"%1\"").arg(path));
    // The working copy goes whatever happens after it was (perhaps partly) written.
    const auto removeCopy = qScopeGuard([&copy] { QFile::remove(copy); });
    if (!store.writeTemplate(QString::fromLatin1(xls::kEmptyWorkbookTemplateName), copy))
        return failed(store.errorString());

    xls::Workbook book;
    if (!book.open(copy))
        return failed(book.errorString());
    XlsSink sink(book);
    ExportResult result;
    result.skippedCells = fillSheet(grid, title, sink);
    // save() replaces path only with the complete new file.
    if (!book.save(path))
        return failed(book.errorString());
    book.close();
    result.ok = true;
    return result;
}

// --- Excel 2007+ ----------------------------------------------------------

class XlsxSink : public CellSink {
public:
    explicit XlsxSink(lxw_worksheet *sheet) : sheet_(sheet) {}
    // An empty text makes no cell in this format (a reader sees an empty cell).
    bool text(int row, int column, const QString &text) override
    {
        const QByteArray utf8 = text.toUtf8();
        return worksheet_write_string(sheet_, lxw_row_t(row - 1), lxw_col_t(column - 1), utf8.constData(),
                                      nullptr) == LXW_NO_ERROR;
    }
    bool number(int row, int column, double value) override
    {
        return worksheet_write_number(sheet_, lxw_row_t(row - 1), lxw_col_t(column - 1), value, nullptr)
            == LXW_NO_ERROR;
    }

private:
    lxw_worksheet *sheet_;
};

// The sheet set up as the .xls template's first sheet: A4 portrait at 100 %,
// margins of 2 cm left and right and 2.67 cm top and bottom, the sheet name
// and the page number 2 cm from the edges, columns 11.57 characters wide.
void setUpSheet(lxw_worksheet *sheet)
{
    constexpr double inchPerCm = 1 / 2.54;
    worksheet_set_paper(sheet, 9);
    worksheet_set_portrait(sheet);
    worksheet_set_margins(sheet, 2 * inchPerCm, 2 * inchPerCm, 2.67 * inchPerCm, 2.67 * inchPerCm);
    lxw_header_footer_options edge{};
    edge.margin = 2 * inchPerCm;
    worksheet_set_header_opt(sheet, "&C&\"Times New Roman,Regular\"&12&A", &edge);
    worksheet_set_footer_opt(sheet, QStringLiteral("&C&\"Times New Roman,Regular\"&12Страница &P")
                                        .toUtf8().constData(), &edge);
    worksheet_set_column(sheet, 0, 255, 11.57, nullptr);
}

// The library prints numbers with the C library's formatting, which follows
// the process's numeric locale; the file format wants a decimal point.
class CNumericLocale {
public:
    CNumericLocale()
    {
        if (const char *current = std::setlocale(LC_NUMERIC, nullptr))
            saved_ = current;
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    CNumericLocale(const CNumericLocale &) = delete;
    CNumericLocale &operator=(const CNumericLocale &) = delete;

private:
    std::string saved_ = "C";
};

ExportResult exportXlsx(const TextGrid &grid, const QString &title, const QString &path)
{
    const CNumericLocale numbersWithPoint;
    // The library writes to a file name of its own; the finished file is
    // then moved over path in one piece, like every other format.
    QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/kelvar-export-XXXXXX.xlsx"));
    if (!scratch.open())
        return failed(QStringLiteral("cannot create a temporary file: %1").arg(scratch.errorString()));
    scratch.close();
    const QByteArray scratchName = QFile::encodeName(scratch.fileName());

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go out in order; nothing is kept per cell
    lxw_workbook *workbook = workbook_new_opt(scratchName.constData(), &options);
    if (!workbook)
        return failed(QStringLiteral("cannot start an Excel 2007 workbook"));
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, QStringLiteral("Лист1").toUtf8().constData());
    if (!sheet) {
        workbook_close(workbook);
        return failed(QStringLiteral("cannot add a worksheet"));
    }
    setUpSheet(sheet);
    XlsxSink sink(sheet);
    ExportResult result;
    result.skippedCells = fillSheet(grid, title, sink);
    if (const lxw_error error = workbook_close(workbook); error != LXW_NO_ERROR)
        return failed(QStringLiteral("cannot write the workbook: %1").arg(QString::fromUtf8(lxw_strerror(error))));

    QFile written(scratch.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("cannot read back the workbook: %1").arg(written.errorString()));
    const QByteArray data = written.readAll();
    if (!xlsxPartsComplete(data, &result.error))
        return failed(QStringLiteral("cannot write the workbook: %1").arg(result.error));
    if (!writeWhole(path, data, &result.error))
        return failed(result.error);
    result.ok = true;
    return result;
}

// --- CSV --------------------------------------------------------------------

// Numbers as the locale writes them, unquoted; texts always in double quotes
// (quotes inside doubled), so a separator, quote or line break in a text
// stays inside its field and a spreadsheet keeps the columns.
class CsvSink : public CellSink {
public:
    explicit CsvSink(int columns) : columns_(qMax(columns, 1)) {}
    bool text(int row, int column, const QString &text) override
    {
        QString quoted = text;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        return put(row, column, QLatin1Char('"') + quoted + QLatin1Char('"'));
    }
    bool number(int row, int column, double value) override { return put(row, column, text::decimal(value)); }

    QByteArray bytes() const
    {
        QString out;
        const QChar separator = csvSeparator();
        for (const QStringList &line : lines_)
            out += line.join(separator) + QLatin1String("\r\n");
        return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
    }

private:
    bool put(int row, int column, const QString &field)
    {
        while (lines_.size() < row)
            lines_.append(QStringList(columns_, QString()));
        lines_[row - 1][column - 1] = field;
        return true;
    }

    int columns_;
    QList<QStringList> lines_;
};

ExportResult exportCsv(const TextGrid &grid, const QString &title, const QString &path)
{
    CsvSink sink(grid.columnCount);
    ExportResult result;
    result.skippedCells = fillSheet(grid, title, sink);
    if (!writeWhole(path, sink.bytes(), &result.error))
        return failed(result.error);
    result.ok = true;
    return result;
}

bool samePath(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity sensitivity = Qt::CaseSensitive;
#endif
    return QFileInfo(a).absoluteFilePath().compare(QFileInfo(b).absoluteFilePath(), sensitivity) == 0;
}

} // namespace

ExportFormat formatForPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return ExportFormat::Xlsx;
    if (suffix == QLatin1String("csv"))
        return ExportFormat::Csv;
    return ExportFormat::Xls;
}

QChar csvSeparator()
{
    return text::locale().decimalPoint() == QLatin1String(",") ? QLatin1Char(';') : QLatin1Char(',');
}

QString workingCopyPath(const QString &target)
{
    const QDir folder = QFileInfo(target).absoluteDir();
    for (int n = 1; n < 100000; ++n) {
        const QString candidate = folder.filePath(QStringLiteral("%1new.xls").arg(n));
        if (!QFileInfo::exists(candidate) && !samePath(candidate, target))
            return candidate;
    }
    return {};
}

ExportResult exportGrid(const TextGrid &grid, const QString &title, const QString &path, ExportFormat format)
{
    switch (format) {
    case ExportFormat::Xls: return exportXls(grid, title, path);
    case ExportFormat::Xlsx: return exportXlsx(grid, title, path);
    case ExportFormat::Csv: return exportCsv(grid, title, path);
    }
    return failed(QStringLiteral("unknown export format"));
}

bool exportGrid(const TextGrid &grid, const QString &title, const QString &path, ExportFormat format,
                QString *error)
{
    const ExportResult result = exportGrid(grid, title, path, format);
    if (error)
        *error = result.error;
    return result.ok;
}

} // namespace kelvar::exporting
