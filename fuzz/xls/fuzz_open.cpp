// Opens arbitrary bytes as an .xls file. Besides never crashing: whatever
// opens must save, and the saved file must open again with the same cells.
#include "xls/Workbook.h"

#include <cstdint>
#include <cstdlib>

using namespace kelvar::xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Workbook book;
    if (!book.openData(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size))))
        return 0;
    QByteArray saved;
    if (!book.toData(&saved))
        std::abort();
    Workbook again;
    if (!again.openData(saved) || again.book().sheets.size() != book.book().sheets.size())
        std::abort();
    for (std::size_t i = 0; i < book.book().sheets.size(); ++i) {
        if (again.book().sheets[i].cells != book.book().sheets[i].cells)
            std::abort();
    }
    return 0;
}
