// Workbook templates held by the program: named file images packed into one
// byte image, the template store.
//
// Store layout (little-endian):
//   "KVXT"  u16 version = 1  u16 count
//   count times: u16 name length, name (UTF-8), u32 data length, data
//   u32 CRC-32 of all bytes before it
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace kelvar::xls {

class TemplateStore {
public:
    using Template = std::pair<QString, QByteArray>;

    // The store built into the program. It holds the template "new.xls"
    // (emptyWorkbook() as an .xls file), produced by this engine's writer
    // when the program is built.
    static QByteArrayView builtInImage();

    // Packs templates into a store image. Names must be distinct.
    static QByteArray encode(const std::vector<Template> &templates);

    // Loads a store image; on failure the store is left empty.
    bool load(QByteArrayView image);

    QStringList names() const;
    bool contains(const QString &name) const;

    // The file image of the template of that exact name; an error when the
    // store holds no such template.
    bool find(const QString &name, QByteArray *image);

    // Writes the template as a file at path, through a temporary file in the
    // same folder that replaces the target only when complete.
    bool writeTemplate(const QString &name, const QString &path);

    QString errorString() const { return m_error; }

private:
    bool fail(const QString &message);

    std::vector<Template> m_templates;
    QString m_error;
};

// CRC-32 (ISO-HDLC, as in zip and PNG) of the bytes.
quint32 crc32(QByteArrayView data);

} // namespace kelvar::xls
