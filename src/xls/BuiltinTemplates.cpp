#include "xls/TemplateStore.h"

#include <cstddef>

namespace kelvar::xls::detail {
// Defined in the file the build generates with tools/make_template_store.
extern const unsigned char kBuiltInTemplateStore[];
extern const std::size_t kBuiltInTemplateStoreSize;
} // namespace kelvar::xls::detail

namespace kelvar::xls {

QByteArrayView TemplateStore::builtInImage()
{
    return QByteArrayView(reinterpret_cast<const char *>(detail::kBuiltInTemplateStore),
                          qsizetype(detail::kBuiltInTemplateStoreSize));
}

} // namespace kelvar::xls
