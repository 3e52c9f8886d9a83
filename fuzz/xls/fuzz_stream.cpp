// Reads arbitrary bytes as a BIFF8 workbook stream, past the compound file
// container. Whatever reads must write, and read back with the same cells.
#include "xls/BiffReader.h"
#include "xls/BiffWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::xls;

namespace {

bool sameCells(const Sheet &a, const Sheet &b)
{
    if (a.cells.size() != b.cells.size())
        return false;
    for (auto i = a.cells.begin(), j = b.cells.begin(); i != a.cells.end(); ++i, ++j) {
        if (i->first != j->first || i->second.index() != j->second.index())
            return false;
        if (const double *d = std::get_if<double>(&i->second)) {
            // Compare bit for bit: -0.0 and 0.0 must stay apart.
            if (std::signbit(*d) != std::signbit(std::get<double>(j->second)) || *d != std::get<double>(j->second))
                return false;
        } else if (std::get<QString>(i->second) != std::get<QString>(j->second)) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Book book;
    QString error;
    if (!readWorkbookStream(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), &book, &error))
        return 0;
    QByteArray stream;
    if (!writeWorkbookStream(book, &stream, &error))
        std::abort();
    Book again;
    if (!readWorkbookStream(stream, &again, &error) || again.sheets.size() != book.sheets.size())
        std::abort();
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        if (!sameCells(book.sheets[i], again.sheets[i]) || !(book.sheets[i].page == again.sheets[i].page)
            || book.sheets[i].name != again.sheets[i].name)
            std::abort();
    }
    return 0;
}
