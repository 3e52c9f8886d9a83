#include "xls/TemplateStore.h"

#include "xls/Bytes.h"

#include <QSaveFile>
#include <QSet>

namespace kelvar::xls {

namespace {

constexpr char kMagic[4] = {'K', 'V', 'X', 'T'};
constexpr quint16 kVersion = 1;

} // namespace

quint32 crc32(QByteArrayView data)
{
    quint32 crc = 0xFFFFFFFF;
    for (char byte : data) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray TemplateStore::encode(const std::vector<Template> &templates)
{
    QByteArray out(kMagic, 4);
    putU16(out, kVersion);
    putU16(out, quint16(templates.size()));
    for (const auto &[name, data] : templates) {
        const QByteArray utf8 = name.toUtf8();
        putU16(out, quint16(utf8.size()));
        out.append(utf8);
        putU32(out, quint32(data.size()));
        out.append(data);
    }
    putU32(out, crc32(out));
    return out;
}

bool TemplateStore::fail(const QString &message)
{
    m_templates.clear();
    m_error = message;
    return false;
}

bool TemplateStore::load(QByteArrayView image)
{
    m_templates.clear();
    m_error.clear();
    if (image.size() < 12 || image.first(4) != QByteArrayView(kMagic, 4))
        return fail(QStringLiteral("not a template store"));
    const QByteArrayView body = image.first(image.size() - 4);
    if (crc32(body) != getU32(image.data() + body.size()))
        return fail(QStringLiteral("template store damaged (checksum mismatch)"));

    ByteReader in(body);
    in.skip(4);
    if (in.u16() != kVersion)
        return fail(QStringLiteral("unsupported template store version"));
    const quint16 count = in.u16();
    QSet<QString> seen;
    for (quint16 i = 0; i < count; ++i) {
        const QString name = QString::fromUtf8(in.bytes(in.u16()));
        const quint32 size = in.u32();
        const QByteArrayView data = in.bytes(qsizetype(size));
        if (!in.ok())
            return fail(QStringLiteral("template store truncated"));
        if (seen.contains(name))
            return fail(QStringLiteral("template \"%1\" appears twice in the store").arg(name));
        seen.insert(name);
        m_templates.emplace_back(name, data.toByteArray());
    }
    if (in.remaining() != 0)
        return fail(QStringLiteral("template store has trailing bytes"));
    return true;
}

QStringList TemplateStore::names() const
{
    QStringList list;
    for (const auto &t : m_templates)
        list.append(t.first);
    return list;
}

bool TemplateStore::contains(const QString &name) const { return names().contains(name); }

bool TemplateStore::find(const QString &name, QByteArray *image)
{
    for (const auto &t : m_templates) {
        if (t.first == name) {
            *image = t.second;
            m_error.clear();
            return true;
        }
    }
    m_error = QStringLiteral("no template \"%1\" in the store").arg(name);
    return false;
}

bool TemplateStore::writeTemplate(const QString &name, const QString &path)
{
    QByteArray image;
    if (!find(name, &image))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot create \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(image) != image.size() || !file.commit()) {
        m_error = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace kelvar::xls
