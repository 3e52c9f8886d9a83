#include "xls/BiffReader.h"

#include "xls/BiffRecords.h"
#include "xls/BiffWriter.h"
#include "xls/Bytes.h"

#include <cmath>
#include <vector>

namespace kelvar::xls {

using namespace biff;

namespace {

struct Record {
    quint16 id = 0;
    QByteArrayView data;
};

// Walks the records of the stream from a position.
class RecordCursor {
public:
    RecordCursor(QByteArrayView stream, qsizetype position) : m_stream(stream), m_pos(position) {}

    qsizetype position() const { return m_pos; }

    // False at the end of the stream or on a malformed record (then *error
    // is set).
    bool next(Record *r, QString *error)
    {
        if (m_pos + kRecordHeaderSize > m_stream.size()) {
            *error = QStringLiteral("workbook stream ends without an EOF record");
            return false;
        }
        r->id = getU16(m_stream.data() + m_pos);
        const quint16 length = getU16(m_stream.data() + m_pos + 2);
        if (length > kMaxRecordData || m_pos + kRecordHeaderSize + length > m_stream.size()) {
            *error = QStringLiteral("malformed record 0x%1 at offset %2").arg(r->id, 4, 16, QChar('0')).arg(m_pos);
            return false;
        }
        r->data = m_stream.sliced(m_pos + kRecordHeaderSize, length);
        m_pos += kRecordHeaderSize + length;
        return true;
    }

    // Identifier of the record at the cursor, or 0 at the end.
    quint16 peekId() const
    {
        return m_pos + kRecordHeaderSize <= m_stream.size() ? getU16(m_stream.data() + m_pos) : 0;
    }

private:
    QByteArrayView m_stream;
    qsizetype m_pos;
};

// Reads data spread over a record and its CONTINUE records. Raw bytes run
// across record boundaries; the characters of a string that continue in the
// next record are preceded there by a byte stating their width.
class ContinuedReader {
public:
    explicit ContinuedReader(std::vector<QByteArrayView> segments) : m_segs(std::move(segments)) {}

    bool atEnd()
    {
        while (m_seg < m_segs.size() && m_pos == m_segs[m_seg].size()) {
            ++m_seg;
            m_pos = 0;
        }
        return m_seg >= m_segs.size();
    }

    bool skip(quint64 n)
    {
        while (n > 0) {
            if (atEnd())
                return false;
            const quint64 take = std::min<quint64>(n, quint64(m_segs[m_seg].size() - m_pos));
            m_pos += qsizetype(take);
            n -= take;
        }
        return true;
    }

    bool u8(quint8 *v)
    {
        if (atEnd())
            return false;
        *v = quint8(m_segs[m_seg][m_pos++]);
        return true;
    }
    bool u16(quint16 *v)
    {
        quint8 lo, hi;
        if (!u8(&lo) || !u8(&hi))
            return false;
        *v = quint16(lo | (hi << 8));
        return true;
    }
    bool u32(quint32 *v)
    {
        quint16 lo, hi;
        if (!u16(&lo) || !u16(&hi))
            return false;
        *v = quint32(lo) | (quint32(hi) << 16);
        return true;
    }

    bool chars(qsizetype count, bool highByte, QString *out)
    {
        out->clear();
        out->reserve(count);
        while (out->size() < count) {
            if (m_pos == m_segs[m_seg].size()) {
                // Continued in the next record, which re-states the width.
                if (++m_seg >= m_segs.size())
                    return false;
                m_pos = 0;
                quint8 flags;
                if (!u8(&flags))
                    return false;
                highByte = flags & 0x01;
            }
            const QByteArrayView s = m_segs[m_seg];
            const int unit = highByte ? 2 : 1;
            const qsizetype n = std::min((s.size() - m_pos) / unit, count - out->size());
            if (n == 0)
                return false; // half a character at the end of a record
            for (qsizetype i = 0; i < n; ++i) {
                const char *p = s.data() + m_pos + i * unit;
                out->append(highByte ? QChar(getU16(p)) : QChar(quint8(*p)));
            }
            m_pos += n * unit;
        }
        return true;
    }

private:
    std::vector<QByteArrayView> m_segs;
    std::size_t m_seg = 0;
    qsizetype m_pos = 0;
};

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
}

// Shared strings: count, flags, [runs], [extension size], characters,
// [runs], [extension]; only the characters are kept.
bool readSst(std::vector<QByteArrayView> segments, std::vector<QString> *strings, QString *error)
{
    ContinuedReader in(std::move(segments));
    quint32 total, unique;
    if (!in.u32(&total) || !in.u32(&unique))
        return fail(error, QStringLiteral("shared string table too short"));
    for (quint32 i = 0; i < unique && !in.atEnd(); ++i) {
        quint16 count;
        quint8 flags;
        quint16 runs = 0;
        quint32 extension = 0;
        QString s;
        if (!in.u16(&count) || !in.u8(&flags) || ((flags & 0x08) && !in.u16(&runs))
            || ((flags & 0x04) && !in.u32(&extension)) || !in.chars(count, flags & 0x01, &s)
            || !in.skip(quint64(runs) * 4) || !in.skip(extension))
            return fail(error, QStringLiteral("shared string %1 is truncated").arg(i));
        strings->push_back(std::move(s));
    }
    return true;
}

bool readShortString(ByteReader &in, QString *s)
{
    const quint8 count = in.u8();
    const quint8 flags = in.u8();
    *s = in.chars(count, flags & 0x01);
    return in.ok();
}

bool readString(ByteReader &in, QString *s)
{
    const quint16 count = in.u16();
    const quint8 flags = in.u8();
    if (flags & 0x0C)
        return false; // rich text or phonetic data: not used in these records
    *s = in.chars(count, flags & 0x01);
    return in.ok();
}

// RK: a 30-bit integer or the high 30 bits of a double, optionally × 1/100.
double decodeRk(quint32 rk)
{
    double v;
    if (rk & 0x02) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

bool isUnkeptContent(quint16 id)
{
    switch (id) {
    case kFormula: case kArray: case kShrFmla: case kTable: case kBoolErr:
    case kNote: case kObj: case kMsoDrawing: case kTxo: case kHlink:
        return true;
    default:
        return false;
    }
}

class SheetReader {
public:
    SheetReader(Sheet *sheet, const std::vector<QString> &strings, QString *error)
        : m_sheet(sheet), m_strings(strings), m_error(error) {}

    bool read(RecordCursor &cursor)
    {
        Record r;
        if (!cursor.next(&r, m_error))
            return false;
        ByteReader bof(r.data);
        if (r.id != kBof || bof.u16() != kBiff8Version || bof.u16() != kBofWorksheet)
            return fail(m_error, QStringLiteral("sheet \"%1\" is not a worksheet").arg(m_sheet->name));
        for (;;) {
            if (!cursor.next(&r, m_error))
                return false;
            if (r.id == kEof)
                return true;
            if (!record(r))
                return false;
        }
    }

private:
    bool setCell(quint16 row, quint16 column, CellValue value)
    {
        if (column >= kMaxColumns)
            return fail(m_error, QStringLiteral("cell column %1 out of range").arg(column));
        if (const double *number = std::get_if<double>(&value); number && !std::isfinite(*number))
            return fail(m_error, QStringLiteral("cell holds a number that is not finite"));
        m_sheet->cells[Sheet::cellKey(row, column)] = std::move(value);
        return true;
    }

    bool margin(QByteArrayView data, double *out)
    {
        ByteReader in(data);
        const double v = in.f64();
        if (!in.ok() || !std::isfinite(v) || v < 0.0 || v >= 100.0)
            return fail(m_error, QStringLiteral("bad page margin"));
        *out = v;
        return true;
    }

    bool headerText(QByteArrayView data, QString *out)
    {
        ByteReader in(data);
        if (!data.isEmpty() && !readString(in, out))
            return fail(m_error, QStringLiteral("bad header or footer record"));
        if (data.isEmpty())
            out->clear();
        return true;
    }

    bool record(const Record &r)
    {
        ByteReader in(r.data);
        PageSetup &page = m_sheet->page;
        if (isUnkeptContent(r.id))
            return fail(m_error, QStringLiteral("sheet \"%1\" holds formulas, notes or drawings, which are not supported")
                                    .arg(m_sheet->name));
        switch (r.id) {
        case kBof:
            return fail(m_error, QStringLiteral("embedded charts are not supported"));
        case kLabelSst: {
            const quint16 row = in.u16(), column = in.u16();
            in.u16();
            const quint32 index = in.u32();
            if (!in.ok() || index >= m_strings.size())
                return fail(m_error, QStringLiteral("bad shared string cell"));
            return setCell(row, column, m_strings[index]);
        }
        case kNumber: {
            const quint16 row = in.u16(), column = in.u16();
            in.u16();
            const double v = in.f64();
            return in.ok() ? setCell(row, column, v) : fail(m_error, QStringLiteral("bad number cell"));
        }
        case kRk: {
            const quint16 row = in.u16(), column = in.u16();
            in.u16();
            const quint32 rk = in.u32();
            return in.ok() ? setCell(row, column, decodeRk(rk)) : fail(m_error, QStringLiteral("bad RK cell"));
        }
        case kMulRk: {
            if (r.data.size() < 6 || (r.data.size() - 6) % 6 != 0)
                return fail(m_error, QStringLiteral("bad MULRK record"));
            const quint16 row = in.u16(), first = in.u16();
            const qsizetype count = (r.data.size() - 6) / 6;
            for (qsizetype i = 0; i < count; ++i) {
                in.u16();
                if (!setCell(row, quint16(first + i), decodeRk(in.u32())))
                    return false;
            }
            if (in.u16() != first + count - 1)
                return fail(m_error, QStringLiteral("bad MULRK record"));
            return true;
        }
        case kLabel: {
            const quint16 row = in.u16(), column = in.u16();
            in.u16();
            QString text;
            if (!readString(in, &text))
                return fail(m_error, QStringLiteral("bad text cell"));
            return setCell(row, column, text);
        }
        case kHeader:
            return headerText(r.data, &page.header);
        case kFooter:
            return headerText(r.data, &page.footer);
        case kLeftMargin:
            return margin(r.data, &page.leftMargin);
        case kRightMargin:
            return margin(r.data, &page.rightMargin);
        case kTopMargin:
            return margin(r.data, &page.topMargin);
        case kBottomMargin:
            return margin(r.data, &page.bottomMargin);
        case kSetup: {
            const quint16 paper = in.u16(), scale = in.u16();
            in.skip(6);
            const quint16 flags = in.u16();
            in.skip(4);
            const double header = in.f64(), footer = in.f64();
            if (!in.ok() || !std::isfinite(header) || !std::isfinite(footer) || header < 0 || footer < 0
                || header >= 100 || footer >= 100)
                return fail(m_error, QStringLiteral("bad page setup record"));
            page.headerMargin = header;
            page.footerMargin = footer;
            if (!(flags & 0x0004)) { // paper, scale and orientation are set
                page.paperSize = paper;
                page.scale = (scale >= 10 && scale <= 400) ? scale : 100;
                if (!(flags & 0x0040))
                    page.portrait = flags & 0x0002;
            }
            return true;
        }
        case kDefColWidth: {
            const quint16 width = in.u16();
            if (in.ok() && width <= 255)
                m_sheet->defaultColumnWidth = width;
            return true;
        }
        case kColInfo: {
            const quint16 first = in.u16(), last = in.u16(), width = in.u16();
            if (!in.ok())
                return fail(m_error, QStringLiteral("bad column record"));
            if (first < kMaxColumns && first <= last)
                m_sheet->columns.push_back({first, std::min<quint16>(last, kMaxColumns - 1), width});
            return true;
        }
        default:
            return true; // formatting and view records: not kept
        }
    }

    Sheet *m_sheet;
    const std::vector<QString> &m_strings;
    QString *m_error;
};

struct SheetEntry {
    quint32 position;
    quint8 type;
    QString name;
};

} // namespace

bool readWorkbookStream(QByteArrayView stream, Book *out, QString *error)
{
    Book book;
    book.sheets.clear();
    RecordCursor cursor(stream, 0);
    Record r;
    if (!cursor.next(&r, error))
        return false;
    {
        ByteReader bof(r.data);
        const quint16 version = bof.u16();
        const quint16 type = bof.u16();
        if (r.id != kBof || !bof.ok())
            return fail(error, QStringLiteral("not an Excel workbook stream"));
        if (version != kBiff8Version)
            return fail(error, QStringLiteral("only Excel 97 and later workbooks are supported"));
        if (type != kBofGlobals)
            return fail(error, QStringLiteral("workbook stream does not start with the workbook globals"));
    }

    std::vector<SheetEntry> entries;
    std::vector<QString> strings;
    bool haveFont = false;
    int activeSheet = 0;
    for (;;) {
        if (!cursor.next(&r, error))
            return false;
        if (r.id == kEof)
            break;
        ByteReader in(r.data);
        switch (r.id) {
        case kFilePass:
            return fail(error, QStringLiteral("encrypted workbooks are not supported"));
        case kFont:
            if (!haveFont) {
                const quint16 height = in.u16();
                in.skip(12);
                QString name;
                if (!readShortString(in, &name))
                    return fail(error, QStringLiteral("bad font record"));
                // An unusable default font is replaced by ours rather than
                // refusing the workbook.
                if (!name.isEmpty() && height >= kMinFontHeight && height <= kMaxFontHeight) {
                    book.fontHeight = height;
                    book.fontName = name;
                }
                haveFont = true;
            }
            break;
        case kWindow1:
            in.skip(10);
            activeSheet = in.u16();
            break;
        case kBoundSheet: {
            SheetEntry e;
            e.position = in.u32();
            in.u8();
            e.type = in.u8();
            if (!readShortString(in, &e.name))
                return fail(error, QStringLiteral("bad sheet record"));
            entries.push_back(e);
            break;
        }
        case kSst: {
            std::vector<QByteArrayView> segments{r.data};
            while (cursor.peekId() == kContinue) {
                if (!cursor.next(&r, error))
                    return false;
                segments.push_back(r.data);
            }
            strings.clear();
            if (!readSst(std::move(segments), &strings, error))
                return false;
            break;
        }
        default:
            break;
        }
    }

    // Sheets follow the globals in order without overlapping, which also
    // bounds the work to one pass over the stream.
    qsizetype end = cursor.position();
    for (const SheetEntry &e : entries) {
        if (e.type != 0)
            return fail(error, QStringLiteral("sheet \"%1\" is a chart or macro sheet, which is not supported").arg(e.name));
        if (qsizetype(e.position) < end || qsizetype(e.position) >= stream.size())
            return fail(error, QStringLiteral("sheet \"%1\" has a bad position").arg(e.name));
        Sheet sheet;
        sheet.name = e.name;
        RecordCursor sheetCursor(stream, e.position);
        SheetReader reader(&sheet, strings, error);
        if (!reader.read(sheetCursor))
            return false;
        end = sheetCursor.position();
        book.sheets.push_back(std::move(sheet));
    }
    book.activeSheet = activeSheet < int(book.sheets.size()) ? activeSheet : 0;

    QString invalid;
    if (!validateBook(book, &invalid))
        return fail(error, QStringLiteral("unsupported workbook: %1").arg(invalid));
    *out = std::move(book);
    return true;
}

} // namespace kelvar::xls
