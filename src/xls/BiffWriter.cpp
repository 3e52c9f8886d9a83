#include "xls/BiffWriter.h"

#include "xls/BiffRecords.h"
#include "xls/Bytes.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace kelvar::xls {

using namespace biff;

namespace {

constexpr int kMaxSheets = 1024;

bool fitsCompressed(QStringView s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// Appends n characters of s from index from: one byte each when compressed,
// otherwise UTF-16 little-endian.
void putChars(QByteArray &out, QStringView s, qsizetype from, qsizetype n, bool highByte)
{
    for (qsizetype i = from; i < from + n; ++i) {
        const char16_t c = s[i].unicode();
        if (highByte)
            putU16(out, c);
        else
            putU8(out, quint8(c));
    }
}

// String with an 8-bit character count (sheet and font names).
void putShortString(QByteArray &out, QStringView s)
{
    const bool high = !fitsCompressed(s);
    putU8(out, quint8(s.size()));
    putU8(out, high ? 1 : 0);
    putChars(out, s, 0, s.size(), high);
}

// String with a 16-bit character count (header and footer texts).
void putString(QByteArray &out, QStringView s)
{
    const bool high = !fitsCompressed(s);
    putU16(out, quint16(s.size()));
    putU8(out, high ? 1 : 0);
    putChars(out, s, 0, s.size(), high);
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

bool validMargin(double inches) { return std::isfinite(inches) && inches >= 0.0 && inches < 100.0; }

bool validSheetName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxSheetNameLength)
        return false;
    if (name.startsWith(u'\'') || name.endsWith(u'\''))
        return false;
    for (QChar c : name) {
        if (QStringView(u"[]:*?/\\").contains(c) || c.unicode() < 0x20)
            return false;
    }
    return true;
}

// The stream under construction: records are appended in file order.
class StreamBuilder {
public:
    qsizetype size() const { return m_out.size(); }
    QByteArray &bytes() { return m_out; }

    void record(quint16 id, const QByteArray &payload)
    {
        Q_ASSERT(payload.size() <= kMaxRecordData);
        putU16(m_out, id);
        putU16(m_out, quint16(payload.size()));
        m_out.append(payload);
    }
    void recordU16(quint16 id, quint16 value)
    {
        QByteArray p;
        putU16(p, value);
        record(id, p);
    }
    void recordF64(quint16 id, double value)
    {
        QByteArray p;
        putF64(p, value);
        record(id, p);
    }

private:
    QByteArray m_out;
};

// Shared string table: every distinct cell text once, in first-use order.
struct SharedStrings {
    std::vector<QStringView> strings;
    QHash<QStringView, quint32> index;
    quint32 references = 0;

    quint32 add(QStringView s)
    {
        ++references;
        const auto it = index.constFind(s);
        if (it != index.constEnd())
            return it.value();
        const auto i = quint32(strings.size());
        strings.push_back(s);
        index.insert(s, i);
        return i;
    }
};

void putBof(StreamBuilder &st, quint16 type)
{
    QByteArray p;
    putU16(p, kBiff8Version);
    putU16(p, type);
    putU16(p, 0x0DBB); // build
    putU16(p, 0x07CC); // year
    putU32(p, 0x00000041); // file history flags
    putU32(p, 0x00000006); // lowest version that can read the file: Excel 97
    st.record(kBof, p);
}

void putFont(StreamBuilder &st, const Book &book)
{
    QByteArray p;
    putU16(p, book.fontHeight);
    putU16(p, 0);      // not italic, not struck out
    putU16(p, 0x7FFF); // automatic colour
    putU16(p, 400);    // normal weight
    putU16(p, 0);      // no super- or subscript
    putU8(p, 0);       // no underline
    putU8(p, 2);       // family: swiss
    putU8(p, 204);     // character set: Cyrillic
    putU8(p, 0);
    putShortString(p, book.fontName);
    st.record(kFont, p);
}

// One XF record. Style formats have no parent; the cell format 15 derives
// from the Normal style (format 0) and takes every attribute from it.
void putXf(StreamBuilder &st, quint16 font, bool style, quint8 unusedAttributes)
{
    QByteArray p;
    putU16(p, font);
    putU16(p, 0);                             // number format: General
    putU16(p, style ? 0xFFF5 : 0x0001);       // locked; style flag and parent 0xFFF, or parent 0
    putU8(p, 0x20);                           // aligned to the bottom
    putU8(p, 0);                              // no rotation
    putU8(p, 0);                              // no indent
    putU8(p, unusedAttributes);
    putU32(p, 0);                             // no borders
    putU32(p, 0);
    putU16(p, 0x20C0);                        // pattern colours: automatic
    st.record(kXf, p);
}

void writeFormats(StreamBuilder &st, const Book &book)
{
    // Four fonts, as every workbook has; index 4 is never used by the format.
    for (int i = 0; i < 4; ++i)
        putFont(st, book);
    // Formats 0..14 are the style formats, 15 the default cell format.
    putXf(st, 0, true, 0x00);
    for (quint16 i = 1; i <= 14; ++i)
        putXf(st, i <= 2 ? 1 : (i <= 4 ? 2 : 0), true, 0xF4);
    putXf(st, 0, false, 0x00);
    QByteArray style;
    putU16(style, 0x8000); // built-in style on format 0
    putU8(style, 0);       // Normal
    putU8(style, 0xFF);
    st.record(kStyle, style);
}

void writeWindow1(StreamBuilder &st, const Book &book)
{
    QByteArray p;
    putU16(p, 0x01E0); // window position and size in twips
    putU16(p, 0x005A);
    putU16(p, 0x3FCF);
    putU16(p, 0x2A4E);
    putU16(p, 0x0038); // horizontal and vertical scroll bars, sheet tabs
    putU16(p, quint16(book.activeSheet));
    putU16(p, 0);      // first visible tab
    putU16(p, 1);      // one selected sheet
    putU16(p, 0x0258); // tab bar width ratio
    st.record(kWindow1, p);
}

// Shared strings with their CONTINUE records and the EXTSST index.
void writeSst(StreamBuilder &st, const SharedStrings &sst)
{
    const auto unique = quint32(sst.strings.size());
    const quint32 bucket = std::max<quint32>(8, unique / 128 + 1);
    QByteArray ext;
    putU16(ext, quint16(bucket));

    QByteArray rec;
    quint16 recId = kSst;
    putU32(rec, sst.references);
    putU32(rec, unique);
    auto flush = [&] {
        st.record(recId, rec);
        rec.clear();
        recId = kContinue;
    };

    for (quint32 i = 0; i < unique; ++i) {
        const QStringView s = sst.strings[i];
        const bool high = !fitsCompressed(s);
        const int unit = high ? 2 : 1;
        // A string's header (count and flags) is never split, and at least
        // its first character goes into the same record.
        if (rec.size() + 3 + (s.isEmpty() ? 0 : unit) > kMaxRecordData)
            flush();
        if (i % bucket == 0) {
            putU32(ext, quint32(st.size() + kRecordHeaderSize + rec.size()));
            putU16(ext, quint16(kRecordHeaderSize + rec.size()));
            putU16(ext, 0);
        }
        putU16(rec, quint16(s.size()));
        putU8(rec, high ? 1 : 0);
        qsizetype done = 0;
        for (;;) {
            const qsizetype n = std::min<qsizetype>((kMaxRecordData - rec.size()) / unit, s.size() - done);
            putChars(rec, s, done, n, high);
            done += n;
            if (done == s.size())
                break;
            // The rest continues in a CONTINUE record that re-states the
            // character width before the characters.
            flush();
            putU8(rec, high ? 1 : 0);
        }
    }
    flush();
    st.record(kExtSst, ext);
}

void writePageSetup(StreamBuilder &st, const PageSetup &page)
{
    QByteArray header;
    if (!page.header.isEmpty())
        putString(header, page.header);
    st.record(kHeader, header);
    QByteArray footer;
    if (!page.footer.isEmpty())
        putString(footer, page.footer);
    st.record(kFooter, footer);
    st.recordU16(kHCenter, 0);
    st.recordU16(kVCenter, 0);
    st.recordF64(kLeftMargin, page.leftMargin);
    st.recordF64(kRightMargin, page.rightMargin);
    st.recordF64(kTopMargin, page.topMargin);
    st.recordF64(kBottomMargin, page.bottomMargin);

    QByteArray p;
    putU16(p, page.paperSize);
    putU16(p, page.scale);
    putU16(p, 1);                          // first page number
    putU16(p, 1);                          // fit to 1 page wide (unused: scaling is in percent)
    putU16(p, 1);                          // fit to 1 page tall (unused)
    putU16(p, page.portrait ? 0x0002 : 0); // settings valid, portrait or landscape
    putU16(p, 600);                        // print resolution
    putU16(p, 600);
    putF64(p, page.headerMargin);
    putF64(p, page.footerMargin);
    putU16(p, 1);                          // copies
    st.record(kSetup, p);
}

void writeCells(StreamBuilder &st, const Sheet &sheet, const std::vector<quint32> &stringIndex,
                std::size_t &nextString)
{
    // Rows in order, each with the span of its cells.
    struct RowSpan {
        int row;
        int firstColumn;
        int lastColumn;
        std::map<quint32, CellValue>::const_iterator begin;
        std::map<quint32, CellValue>::const_iterator end;
    };
    std::vector<RowSpan> rows;
    for (auto it = sheet.cells.begin(); it != sheet.cells.end();) {
        const int row = Sheet::rowOf(it->first);
        const auto end = sheet.cells.lower_bound(Sheet::cellKey(row + 1, 0));
        rows.push_back({row, Sheet::columnOf(it->first), Sheet::columnOf(std::prev(end)->first), it, end});
        it = end;
    }

    // Blocks of up to 32 rows: their ROW records, then their cells.
    for (std::size_t block = 0; block < rows.size(); block += 32) {
        const std::size_t blockEnd = std::min(rows.size(), block + 32);
        for (std::size_t r = block; r < blockEnd; ++r) {
            QByteArray p;
            putU16(p, quint16(rows[r].row));
            putU16(p, quint16(rows[r].firstColumn));
            putU16(p, quint16(rows[r].lastColumn + 1));
            putU16(p, 0x00FF);                   // default height
            putU16(p, 0);
            putU16(p, 0);
            putU32(p, 0x00000100 | (quint32(kDefaultCellXf) << 16));
            st.record(kRow, p);
        }
        for (std::size_t r = block; r < blockEnd; ++r) {
            for (auto it = rows[r].begin; it != rows[r].end; ++it) {
                QByteArray p;
                putU16(p, quint16(Sheet::rowOf(it->first)));
                putU16(p, quint16(Sheet::columnOf(it->first)));
                putU16(p, kDefaultCellXf);
                if (const double *number = std::get_if<double>(&it->second)) {
                    putF64(p, *number);
                    st.record(kNumber, p);
                } else {
                    putU32(p, stringIndex[nextString++]);
                    st.record(kLabelSst, p);
                }
            }
        }
    }
}

void writeSheet(StreamBuilder &st, const Sheet &sheet, bool active,
                const std::vector<quint32> &stringIndex, std::size_t &nextString)
{
    putBof(st, kBofWorksheet);
    st.recordU16(kCalcMode, 1);
    st.recordU16(kCalcCount, 100);
    st.recordU16(kRefMode, 1);
    st.recordU16(kIteration, 0);
    st.recordF64(kDelta, 0.001);
    st.recordU16(kSaveRecalc, 1);
    st.recordU16(kPrintHeaders, 0);
    st.recordU16(kPrintGridlines, 0);
    st.recordU16(kGridSet, 1);
    st.record(kGuts, QByteArray(8, '\0'));
    QByteArray rowHeight;
    putU16(rowHeight, 0);
    putU16(rowHeight, 0x00FF);
    st.record(kDefaultRowHeight, rowHeight);
    st.recordU16(kWsBool, 0x04C1); // outline symbols, automatic page breaks; no fit-to-page
    writePageSetup(st, sheet.page);
    st.recordU16(kDefColWidth, sheet.defaultColumnWidth);
    for (const ColumnWidth &c : sheet.columns) {
        QByteArray p;
        putU16(p, c.first);
        putU16(p, c.last);
        putU16(p, c.width);
        putU16(p, kDefaultCellXf);
        putU16(p, 0);
        putU16(p, 0);
        st.record(kColInfo, p);
    }

    QByteArray dim;
    if (sheet.cells.empty()) {
        dim = QByteArray(14, '\0');
    } else {
        int minColumn = kMaxColumns;
        int maxColumn = 0;
        for (const auto &[key, value] : sheet.cells) {
            minColumn = std::min(minColumn, Sheet::columnOf(key));
            maxColumn = std::max(maxColumn, Sheet::columnOf(key));
        }
        putU32(dim, quint32(Sheet::rowOf(sheet.cells.begin()->first)));
        putU32(dim, quint32(Sheet::rowOf(sheet.cells.rbegin()->first) + 1));
        putU16(dim, quint16(minColumn));
        putU16(dim, quint16(maxColumn + 1));
        putU16(dim, 0);
    }
    st.record(kDimensions, dim);

    writeCells(st, sheet, stringIndex, nextString);

    QByteArray w2;
    // Grid, headings, zeros, automatic grid colour, outline symbols; the
    // active sheet is also selected and shown.
    putU16(w2, active ? 0x06B6 : 0x00B6);
    putU16(w2, 0); // top row
    putU16(w2, 0); // left column
    putU32(w2, 64); // grid colour: automatic
    putU16(w2, 0);
    putU16(w2, 0);
    putU32(w2, 0);
    st.record(kWindow2, w2);
    st.record(kEof, {});
}

} // namespace

bool validateBook(const Book &book, QString *error)
{
    if (book.sheets.empty())
        return fail(error, QStringLiteral("the workbook has no sheets"));
    if (book.sheets.size() > kMaxSheets)
        return fail(error, QStringLiteral("the workbook has more than %1 sheets").arg(kMaxSheets));
    if (book.activeSheet < 0 || std::size_t(book.activeSheet) >= book.sheets.size())
        return fail(error, QStringLiteral("the active sheet %1 does not exist").arg(book.activeSheet));
    if (book.fontName.isEmpty() || book.fontName.size() > 255)
        return fail(error, QStringLiteral("bad font name"));
    if (book.fontHeight < kMinFontHeight || book.fontHeight > kMaxFontHeight)
        return fail(error, QStringLiteral("bad font height %1").arg(book.fontHeight));

    QSet<QString> names;
    for (const Sheet &sheet : book.sheets) {
        if (!validSheetName(sheet.name))
            return fail(error, QStringLiteral("bad sheet name \"%1\"").arg(sheet.name));
        const QString folded = sheet.name.toCaseFolded();
        if (names.contains(folded))
            return fail(error, QStringLiteral("two sheets are named \"%1\"").arg(sheet.name));
        names.insert(folded);

        const PageSetup &page = sheet.page;
        if (page.header.size() > kMaxHeaderFooterLength || page.footer.size() > kMaxHeaderFooterLength)
            return fail(error, QStringLiteral("header or footer of \"%1\" is too long").arg(sheet.name));
        for (double m : {page.leftMargin, page.rightMargin, page.topMargin, page.bottomMargin,
                         page.headerMargin, page.footerMargin}) {
            if (!validMargin(m))
                return fail(error, QStringLiteral("bad margin on \"%1\"").arg(sheet.name));
        }
        if (page.scale < 10 || page.scale > 400)
            return fail(error, QStringLiteral("bad print scale %1").arg(page.scale));
        if (sheet.defaultColumnWidth > 255)
            return fail(error, QStringLiteral("bad default column width"));
        for (const ColumnWidth &c : sheet.columns) {
            if (c.first > c.last || c.last >= kMaxColumns)
                return fail(error, QStringLiteral("bad column range %1..%2").arg(c.first).arg(c.last));
        }
        for (const auto &[key, value] : sheet.cells) {
            if (Sheet::rowOf(key) >= kMaxRows)
                return fail(error, QStringLiteral("cell row out of range"));
            if (const double *number = std::get_if<double>(&value)) {
                if (!std::isfinite(*number))
                    return fail(error, QStringLiteral("a cell holds a number that is not finite"));
            } else if (std::get<QString>(value).size() > kMaxCellTextLength) {
                return fail(error, QStringLiteral("a cell text is longer than %1 characters").arg(kMaxCellTextLength));
            }
        }
    }
    return true;
}

bool writeWorkbookStream(const Book &book, QByteArray *stream, QString *error)
{
    if (!validateBook(book, error))
        return false;

    // Shared strings in the order the cells are written; stringIndex holds
    // the table index of every text cell in that order.
    SharedStrings sst;
    std::vector<quint32> stringIndex;
    for (const Sheet &sheet : book.sheets) {
        for (const auto &[key, value] : sheet.cells) {
            if (const QString *text = std::get_if<QString>(&value))
                stringIndex.push_back(sst.add(*text));
        }
    }

    StreamBuilder st;
    putBof(st, kBofGlobals);
    st.recordU16(kInterfaceHdr, kCodepageUtf16);
    st.recordU16(kMms, 0);
    st.record(kInterfaceEnd, {});
    st.recordU16(kCodepage, kCodepageUtf16);
    st.recordU16(kDsf, 0);
    QByteArray tabs;
    for (std::size_t i = 0; i < book.sheets.size(); ++i)
        putU16(tabs, quint16(i + 1));
    st.record(kTabId, tabs);
    st.recordU16(kWindowProtect, 0);
    st.recordU16(kProtect, 0);
    st.recordU16(kPassword, 0);
    st.recordU16(kProt4Rev, 0);
    st.recordU16(kProt4RevPass, 0);
    writeWindow1(st, book);
    st.recordU16(kBackup, 0);
    st.recordU16(kHideObj, 0);
    st.recordU16(kDateMode, 0);
    st.recordU16(kPrecision, 1);
    st.recordU16(kRefreshAll, 0);
    st.recordU16(kBookBool, 0);
    writeFormats(st, book);
    st.recordU16(kUsesElfs, 0);

    // Sheet positions are known only once the globals are complete: keep
    // where each BOUNDSHEET's position field is and fill it in later.
    std::vector<qsizetype> positionFields;
    for (const Sheet &sheet : book.sheets) {
        QByteArray p;
        putU32(p, 0);
        putU8(p, 0); // visible
        putU8(p, 0); // worksheet
        putShortString(p, sheet.name);
        positionFields.push_back(st.size() + kRecordHeaderSize);
        st.record(kBoundSheet, p);
    }
    QByteArray country;
    putU16(country, 7); // Russia, for the interface and the system
    putU16(country, 7);
    st.record(kCountry, country);
    writeSst(st, sst);
    st.record(kEof, {});

    std::size_t nextString = 0;
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        patchU32(st.bytes(), positionFields[i], quint32(st.size()));
        writeSheet(st, book.sheets[i], int(i) == book.activeSheet, stringIndex, nextString);
    }
    *stream = std::move(st.bytes());
    return true;
}

} // namespace kelvar::xls
