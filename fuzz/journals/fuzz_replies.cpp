// Decodes arbitrary bytes as journal responses into rows, as a read fills
// the journal's list: no crash, no row wider than the list's columns, and the
// list and its chart take whatever rows came.

#include "journals/Journal.h"
#include "journals/JournalTable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::journals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // Several responses in one input, separated by the byte A5.
    const QList<QByteArray> responses = bytes.split('\xA5');
    JournalTable *table = nullptr;
    std::optional<JournalTable> storage;
    for (const QByteArray &response : responses) {
        JournalKind kind;
        if (response.isEmpty() || !kindOfCode(quint8(response[0]), &kind))
            continue;
        if (!table) {
            storage.emplace(kind);
            table = &*storage;
        }
        for (const QStringList &row : decodeJournalResponse(response)) {
            if (row.size() > journalColumns(kind).size())
                std::abort();
            if (kind == table->kind())
                table->insert(row);
        }
    }
    if (table)
        table->chartBars();
    return 0;
}
