#include "export/XlsxCheck.h"

#include "xls/Bytes.h"

#include <QXmlStreamReader>

#include <zlib.h>

namespace kelvar::exporting {

namespace {

constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr quint32 kDirectoryEntry = 0x02014b50;
constexpr quint32 kLocalHeader = 0x04034b50;

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
}

// Raw deflate data to exactly size bytes; false when it does not inflate so.
bool inflateTo(QByteArrayView packed, quint32 size, QByteArray *out)
{
    out->resize(qsizetype(size));
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
    z.avail_in = uInt(packed.size());
    z.next_out = reinterpret_cast<Bytef *>(out->data());
    z.avail_out = uInt(size);
    const int status = inflate(&z, Z_FINISH);
    const bool whole = status == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return whole;
}

} // namespace

bool xlsxPartsComplete(QByteArrayView archive, QString *error)
{
    using xls::ByteReader;
    // The end-of-directory record: the last 22 bytes (this writer adds no comment).
    qsizetype end = archive.size() - 22;
    while (end >= 0 && xls::getU32(archive.data() + end) != kEndOfDirectory)
        --end;
    if (end < 0)
        return fail(error, QStringLiteral("the workbook is not a complete zip archive"));
    ByteReader eocd(archive.sliced(end + 10));
    const quint16 entries = eocd.u16();
    eocd.skip(4);
    const quint32 directory = eocd.u32();
    if (!eocd.ok() || directory > quint32(end))
        return fail(error, QStringLiteral("the workbook's zip directory is damaged"));

    ByteReader dir(archive.sliced(directory, end - directory));
    for (quint16 i = 0; i < entries; ++i) {
        const bool entryOk = dir.u32() == kDirectoryEntry;
        dir.skip(6);
        const quint16 method = dir.u16();
        dir.skip(4);
        const quint32 crc = dir.u32();
        const quint32 packedSize = dir.u32();
        const quint32 size = dir.u32();
        const quint16 nameLength = dir.u16();
        const quint16 extraLength = dir.u16();
        const quint16 commentLength = dir.u16();
        dir.skip(8);
        const quint32 local = dir.u32();
        const QString name = QString::fromUtf8(dir.bytes(nameLength));
        dir.skip(extraLength + commentLength);
        if (!entryOk || !dir.ok() || local > quint32(archive.size()))
            return fail(error, QStringLiteral("the workbook's zip directory is damaged"));

        ByteReader header(archive.sliced(local));
        const bool headerOk = header.u32() == kLocalHeader;
        header.skip(22);
        const quint16 localName = header.u16();
        const quint16 localExtra = header.u16();
        header.skip(localName + localExtra);
        const QByteArrayView packed = header.bytes(qsizetype(packedSize));
        if (!headerOk || !header.ok())
            return fail(error, QStringLiteral("part %1 of the workbook is cut off").arg(name));

        QByteArray data;
        if (method == 0)
            data = packed.toByteArray();
        else if (method != 8 || !inflateTo(packed, size, &data))
            return fail(error, QStringLiteral("part %1 of the workbook does not unpack").arg(name));
        if (quint32(data.size()) != size
            || ::crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())) != crc)
            return fail(error, QStringLiteral("part %1 of the workbook is damaged").arg(name));

        if (name.endsWith(QLatin1String(".xml")) || name.endsWith(QLatin1String(".rels"))) {
            QXmlStreamReader xml(data);
            while (!xml.atEnd())
                xml.readNext();
            if (xml.hasError())
                return fail(error, QStringLiteral("part %1 of the workbook is incomplete: %2")
                                       .arg(name, xml.errorString()));
        }
    }
    return true;
}

} // namespace kelvar::exporting
