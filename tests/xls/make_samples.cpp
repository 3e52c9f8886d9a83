// Writes sample workbooks through the engine's public operations (template
// store, open, set cells, save) and a manifest of what each should contain,
// for the independent readers in check_xlrd.py and check_second_reader.py.
//
// Usage: xls_make_samples <output folder>

#include "xls/BiffWriter.h"
#include "xls/TemplateStore.h"
#include "xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using namespace kelvar::xls;

namespace {

[[noreturn]] void die(const QString &what)
{
    std::fprintf(stderr, "xls_make_samples: %s\n", qPrintable(what));
    std::exit(1);
}

struct Expected {
    int row;    // from 1
    int column; // from 1
    CellValue value;
};

QJsonObject cellJson(const Expected &e)
{
    QJsonObject o{{"row", e.row - 1}, {"col", e.column - 1}};
    if (const double *d = std::get_if<double>(&e.value)) {
        quint64 bits;
        std::memcpy(&bits, d, sizeof bits);
        o["type"] = "number";
        o["bits"] = QString::number(bits, 16).rightJustified(16, u'0');
    } else {
        o["type"] = "text";
        o["text"] = std::get<QString>(e.value);
    }
    return o;
}

class Samples {
public:
    explicit Samples(const QString &dir) : dir_(dir)
    {
        if (!store_.load(TemplateStore::builtInImage()))
            die(store_.errorString());
    }

    // A fresh workbook: the template written to a working copy and opened.
    Workbook fromTemplate(const QString &name)
    {
        const QString copy = dir_.filePath(name + ".template.xls");
        if (!store_.writeTemplate(QString::fromLatin1(kEmptyWorkbookTemplateName), copy))
            die(store_.errorString());
        Workbook book;
        if (!book.open(copy))
            die(book.errorString());
        QFile::remove(copy);
        return book;
    }

    static void set(Workbook &book, const Expected &e)
    {
        const bool ok = std::holds_alternative<double>(e.value)
            ? book.setNumber(e.row, e.column, std::get<double>(e.value))
            : book.setText(e.row, e.column, std::get<QString>(e.value));
        if (!ok)
            die(book.errorString());
    }

    static qsizetype streamSize(const Workbook &book)
    {
        QByteArray stream;
        QString error;
        if (!writeWorkbookStream(book.book(), &stream, &error))
            die(error);
        return stream.size();
    }

    void save(Workbook &book, const QString &name, const std::vector<Expected> &cells,
              const QString &purpose)
    {
        if (!book.save(dir_.filePath(name)))
            die(book.errorString());
        QJsonArray list;
        for (const Expected &e : cells)
            list.append(cellJson(e));
        manifest_.append(QJsonObject{{"file", name},
                                     {"purpose", purpose},
                                     {"streamSize", double(streamSize(book))},
                                     {"cells", list}});
    }

    void writeManifest()
    {
        QFile f(dir_.filePath("manifest.json"));
        if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(QJsonObject{{"workbooks", manifest_}}).toJson()) < 0)
            die(QStringLiteral("cannot write the manifest"));
    }

private:
    QDir dir_;
    TemplateStore store_;
    QJsonArray manifest_;
};

std::vector<Expected> valueCells()
{
    const double denormal = std::numeric_limits<double>::denorm_min();
    return {
        {1, 1, QStringLiteral("Счетчик № 123456, Суточный журнал ")},
        {1, 2, QString()},
        {2, 1, QStringLiteral("Дата")},
        {2, 2, QStringLiteral("1 тариф")},
        {2, 3, QStringLiteral("plain ASCII text")},
        {2, 4, QStringLiteral("Latin-1: café, naïve, ß")},
        {2, 5, QStringLiteral("смешанный mixed ЁёЪъ № §")},
        {2, 6, QStringLiteral("emoji \U0001F600 and 中文")},
        {3, 1, -1.5},
        {3, 2, 1e-7},
        {3, 3, 1e300},
        {3, 4, 42.0},
        {3, 5, 0.0},
        {3, 6, -0.0},
        {4, 1, 12.5},
        {4, 2, -123456789.0},
        {4, 3, denormal},
        {4, 4, std::numeric_limits<double>::max()},
        {4, 5, 0.1},
        {4, 6, 1.0 / 3.0},
        {7, 9, QStringLiteral("far cell")},
        {100, 256, 7.0},
        {65536, 1, QStringLiteral("last row")},
    };
}

// Strings laid out so that the shared string table splits inside a
// compressed string, inside a UTF-16 string, exactly between two strings,
// and where a header would not fit; then many short strings and a text
// longer than one record.
std::vector<Expected> splitCells()
{
    std::vector<QString> texts;
    // The table starts with 8 bytes of counts; the first string (3-byte
    // header) leaves 5 bytes, enough for the next header and 2 characters.
    texts.push_back(QString(8224 - 8 - 3 - 5, u'a'));
    texts.push_back(QStringLiteral("split-inside"));          // 2 chars, then 10 after the flag byte
    // Next record: flag + 10 bytes used; a UTF-16 string that overflows it.
    texts.push_back(QString(4110, QChar(0x0436)));           // 'ж'
    // After the split: flag + 5 chars × 2 = 11 bytes used; fill exactly.
    texts.push_back(QString(8224 - 11 - 3, u'b'));
    texts.push_back(QStringLiteral("после границы"));         // starts a record, no flag byte
    // Leave exactly 2 bytes: the next header (3 bytes) must move on.
    texts.push_back(QString(8224 - (3 + 13 * 2) - 3 - 2, u'c'));
    texts.push_back(QStringLiteral("header moved"));
    for (int i = 0; i < 3000; ++i)
        texts.push_back(i % 2 ? QStringLiteral("строка %1").arg(i) : QStringLiteral("row %1 text").arg(i));
    QString longText;
    while (longText.size() < 9000)
        longText += QStringLiteral("Длинный текст длиннее одной записи. ");
    texts.push_back(longText);                                // 18000 bytes in UTF-16
    texts.push_back(QString(9000, u'z'));                     // 9000 bytes compressed

    std::vector<Expected> cells;
    for (std::size_t i = 0; i < texts.size(); ++i)
        cells.push_back({int(i) + 1, 1, texts[i]});
    cells.push_back({1, 2, 3.25});
    return cells;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        die(QStringLiteral("usage: xls_make_samples <output folder>"));
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir))
        die(QStringLiteral("cannot create %1").arg(dir));
    Samples samples(dir);

    {
        Workbook book = samples.fromTemplate("values");
        const auto cells = valueCells();
        for (const Expected &e : cells)
            Samples::set(book, e);
        samples.save(book, "values.xls", cells, "texts and numbers of every kind");

        // Reopen the saved file, add cells, save again: earlier cells stay.
        Workbook again;
        if (!again.open(QDir(dir).filePath("values.xls")))
            die(again.errorString());
        std::vector<Expected> more = cells;
        const std::vector<Expected> added = {
            {5, 1, QStringLiteral("добавлено")}, {5, 2, 2.5}, {1, 2, QStringLiteral("replaced")}};
        for (const Expected &e : added) {
            Samples::set(again, e);
            std::erase_if(more, [&](const Expected &x) { return x.row == e.row && x.column == e.column; });
            more.push_back(e);
        }
        samples.save(again, "reopened.xls", more, "reopened, more cells set, saved again");
    }

    {
        Workbook book = samples.fromTemplate("split");
        const auto cells = splitCells();
        for (const Expected &e : cells)
            Samples::set(book, e);
        samples.save(book, "split.xls", cells, "shared strings split over CONTINUE records");
    }

    // Workbook streams of exact sizes around the compound file's limits.
    for (qsizetype target : {4095, 4096, 4097, 4607, 4608, 4609}) {
        Workbook book = samples.fromTemplate("size");
        Samples::set(book, {1, 1, QStringLiteral("x")});
        const qsizetype base = Samples::streamSize(book);
        if (base >= target)
            die(QStringLiteral("the empty workbook stream is already %1 bytes").arg(base));
        const Expected cell{1, 1, QString(1 + target - base, u'x')};
        Samples::set(book, cell);
        if (Samples::streamSize(book) != target)
            die(QStringLiteral("could not reach a stream of %1 bytes").arg(target));
        samples.save(book, QStringLiteral("size_%1.xls").arg(target), {cell},
                     QStringLiteral("workbook stream of %1 bytes").arg(target));
    }

    {
        // A journal export as the journals page makes it.
        Workbook book = samples.fromTemplate("export");
        std::vector<Expected> cells = {
            {1, 1, QStringLiteral("Счетчик № 123456, Суточный журнал ")},
            {1, 2, QString()}, {1, 3, QString()}, {1, 4, QString()},
            {2, 1, QStringLiteral("Дата")}, {2, 2, QStringLiteral("1 тариф")},
            {2, 3, QStringLiteral("2 тариф")}, {2, 4, QStringLiteral("3 тариф")},
        };
        for (int day = 1; day <= 31; ++day) {
            const int row = day + 2;
            cells.push_back({row, 1, QStringLiteral("%1.01.2024").arg(day, 2, 10, QChar(u'0'))});
            cells.push_back({row, 2, 1000.0 + day * 12.5});
            cells.push_back({row, 3, day * 0.25});
            cells.push_back({row, 4, double(-day)});
        }
        for (const Expected &e : cells)
            Samples::set(book, e);
        samples.save(book, "export.xls", cells, "a daily journal export");
    }

    samples.writeManifest();
    return 0;
}
