// Reads arbitrary bytes as a settings template: no crash, no hang, and every
// accepted template survives its canonical text unchanged.

#include "meter/SettingsTemplate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::meter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<SettingsTemplate> tpl = parseTemplate(text, &error);
    if (!tpl) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    QString again;
    const std::optional<SettingsTemplate> reread = parseTemplate(serialiseTemplate(*tpl), &again);
    if (!reread || !(*reread == *tpl))
        std::abort();
    return 0;
}
