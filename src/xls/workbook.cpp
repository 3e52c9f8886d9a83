#include "xls/workbook.h"

#include "xls/biffreader.h"
#include "xls/biffwriter.h"
#include "xls/compoundfile.h"

#include <QFile>
#include <QSaveFile>

#include <cmath>

namespace kelvar::xls {

namespace {

const QString kStreamName = QStringLiteral("Workbook");

// Larger than any workbook of 65536 × 256 cells; guards against reading
// arbitrary large files into memory.
constexpr qint64 kMaxFileSize = qint64(1) << 30;

} // namespace

bool Workbook::fail(const QString &message)
{
    error_ = message;
    return false;
}

bool Workbook::open(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open \"%1\": %2").arg(path, file.errorString()));
    if (file.size() > kMaxFileSize)
        return fail(QStringLiteral("\"%1\" is too large for a workbook").arg(path));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("cannot read \"%1\": %2").arg(path, file.errorString()));
    if (!openData(data)) {
        error_ = QStringLiteral("\"%1\": %2").arg(path, error_);
        return false;
    }
    return true;
}

bool Workbook::openData(QByteArrayView file)
{
    CompoundFileReader container;
    QString error;
    if (!container.open(file, &error))
        return fail(error);
    if (!container.hasStream(kStreamName)) {
        if (container.hasStream(QStringLiteral("Book")))
            return fail(QStringLiteral("Excel 5 and 95 workbooks are not supported"));
        return fail(QStringLiteral("not an Excel workbook (no Workbook stream)"));
    }
    QByteArray stream;
    if (!container.readStream(kStreamName, &stream, &error))
        return fail(error);
    Book book;
    if (!readWorkbookStream(stream, &book, &error))
        return fail(error);
    book_ = std::move(book);
    error_.clear();
    return true;
}

bool Workbook::setCell(int row, int column, CellValue value)
{
    if (!book_)
        return fail(QStringLiteral("no workbook is open"));
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return fail(QStringLiteral("cell (%1, %2) is outside the worksheet").arg(row).arg(column));
    if (const QString *text = std::get_if<QString>(&value); text && text->size() > kMaxCellTextLength)
        return fail(QStringLiteral("cell text longer than %1 characters").arg(kMaxCellTextLength));
    if (const double *number = std::get_if<double>(&value); number && !std::isfinite(*number))
        return fail(QStringLiteral("a cell cannot hold a number that is not finite"));
    book_->sheets.front().cells[Sheet::cellKey(row - 1, column - 1)] = std::move(value);
    error_.clear();
    return true;
}

bool Workbook::setText(int row, int column, const QString &text) { return setCell(row, column, text); }

bool Workbook::setNumber(int row, int column, double value) { return setCell(row, column, value); }

bool Workbook::toData(QByteArray *file)
{
    if (!book_)
        return fail(QStringLiteral("no workbook is open"));
    QByteArray stream;
    QString error;
    if (!writeWorkbookStream(*book_, &stream, &error))
        return fail(error);
    *file = writeCompoundFile(kStreamName, stream);
    error_.clear();
    return true;
}

bool Workbook::save(const QString &path)
{
    QByteArray data;
    if (!toData(&data))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot create \"%1\": %2").arg(path, file.errorString()));
    if (file.write(data) != data.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(QStringLiteral("cannot write \"%1\": %2").arg(path, reason));
    }
    return true;
}

void Workbook::close()
{
    book_.reset();
    error_.clear();
}

} // namespace kelvar::xls
