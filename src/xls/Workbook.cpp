#include "xls/Workbook.h"

#include "xls/BiffReader.h"
#include "xls/BiffWriter.h"
#include "xls/CompoundFile.h"

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
    m_error = message;
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
        m_error = QStringLiteral("\"%1\": %2").arg(path, m_error);
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
    m_book = std::move(book);
    m_error.clear();
    return true;
}

bool Workbook::setCell(int row, int column, CellValue value)
{
    if (!m_book)
        return fail(QStringLiteral("no workbook is open"));
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return fail(QStringLiteral("cell (%1, %2) is outside the worksheet").arg(row).arg(column));
    if (const QString *text = std::get_if<QString>(&value); text && text->size() > kMaxCellTextLength)
        return fail(QStringLiteral("cell text longer than %1 characters").arg(kMaxCellTextLength));
    if (const double *number = std::get_if<double>(&value); number && !std::isfinite(*number))
        return fail(QStringLiteral("a cell cannot hold a number that is not finite"));
    m_book->sheets.front().cells[Sheet::cellKey(row - 1, column - 1)] = std::move(value);
    m_error.clear();
    return true;
}

bool Workbook::setText(int row, int column, const QString &text) { return setCell(row, column, text); }

bool Workbook::setNumber(int row, int column, double value) { return setCell(row, column, value); }

bool Workbook::toData(QByteArray *file)
{
    if (!m_book)
        return fail(QStringLiteral("no workbook is open"));
    QByteArray stream;
    QString error;
    if (!writeWorkbookStream(*m_book, &stream, &error))
        return fail(error);
    *file = writeCompoundFile(kStreamName, stream);
    m_error.clear();
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
    m_book.reset();
    m_error.clear();
}

} // namespace kelvar::xls
