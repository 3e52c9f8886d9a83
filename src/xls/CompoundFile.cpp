#include "xls/CompoundFile.h"

#include "xls/Bytes.h"

#include <algorithm>

namespace kelvar::xls {

namespace {

constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;

constexpr int kSectorSize = 512;
constexpr int kIdsPerSector = kSectorSize / 4;
constexpr int kHeaderDifatEntries = 109;
constexpr int kDirEntrySize = 128;

constexpr quint8 kTypeStream = 2;
constexpr quint8 kTypeRoot = 5;

const char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};

quint32 ceilDiv(quint64 a, quint64 b) { return quint32((a + b - 1) / b); }

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// One 128-byte directory entry. Unused entries are zero with no siblings
// and no child.
QByteArray dirEntry(const QString &name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    QByteArray e;
    e.reserve(kDirEntrySize);
    for (QChar c : name)
        putU16(e, c.unicode());
    e.append(QByteArray(64 - e.size(), '\0'));
    putU16(e, name.isEmpty() ? 0 : quint16((name.size() + 1) * 2));
    putU8(e, type);
    putU8(e, 1);               // black: a tree of one node per level
    putU32(e, kNoStream);      // left sibling
    putU32(e, kNoStream);      // right sibling
    putU32(e, child);
    e.append(QByteArray(16 + 4 + 8 + 8, '\0')); // class id, state bits, times
    putU32(e, start);
    putU32(e, size);
    putU32(e, 0);
    return e;
}

} // namespace

QByteArray writeCompoundFile(const QString &streamName, const QByteArray &stream)
{
    Q_ASSERT(streamName.size() <= 31);
    const quint64 streamSize = std::max<quint64>(stream.size(), kMiniStreamCutoff);
    const quint32 streamSectors = ceilDiv(streamSize, kSectorSize);

    // Sectors: the stream, one directory sector, the FAT, then the DIFAT
    // sectors that list FAT sectors beyond the 109 the header holds. The FAT
    // covers itself, so grow it until it is large enough.
    quint32 fatSectors = 1;
    quint32 difatSectors = 0;
    for (;;) {
        const quint64 total = quint64(streamSectors) + 1 + fatSectors + difatSectors;
        const quint32 needFat = ceilDiv(total, kIdsPerSector);
        const quint32 needDifat =
            needFat > kHeaderDifatEntries ? ceilDiv(needFat - kHeaderDifatEntries, kIdsPerSector - 1) : 0;
        if (needFat <= fatSectors && needDifat <= difatSectors)
            break;
        fatSectors = std::max(fatSectors, needFat);
        difatSectors = std::max(difatSectors, needDifat);
    }
    const quint32 dirSector = streamSectors;
    const quint32 firstFat = dirSector + 1;
    const quint32 firstDifat = firstFat + fatSectors;
    const quint32 totalSectors = firstDifat + difatSectors;

    std::vector<quint32> fat(std::size_t(fatSectors) * kIdsPerSector, kFreeSector);
    for (quint32 i = 0; i + 1 < streamSectors; ++i)
        fat[i] = i + 1;
    fat[streamSectors - 1] = kEndOfChain;
    fat[dirSector] = kEndOfChain;
    for (quint32 i = 0; i < fatSectors; ++i)
        fat[firstFat + i] = kFatSector;
    for (quint32 i = 0; i < difatSectors; ++i)
        fat[firstDifat + i] = kDifatSector;

    QByteArray out;
    out.reserve(qsizetype(totalSectors + 1) * kSectorSize);

    // Header.
    out.append(kSignature, 8);
    out.append(QByteArray(16, '\0'));
    putU16(out, 0x003E);     // minor version
    putU16(out, 0x0003);     // major version 3: 512-byte sectors
    putU16(out, 0xFFFE);     // little-endian
    putU16(out, 9);          // sector size 2^9
    putU16(out, 6);          // mini sector size 2^6
    out.append(QByteArray(6, '\0'));
    putU32(out, 0);          // directory sectors (always 0 in version 3)
    putU32(out, fatSectors);
    putU32(out, dirSector);
    putU32(out, 0);          // transaction signature
    putU32(out, kMiniStreamCutoff);
    putU32(out, kEndOfChain); // no mini FAT
    putU32(out, 0);
    putU32(out, difatSectors ? firstDifat : kEndOfChain);
    putU32(out, difatSectors);
    for (quint32 i = 0; i < kHeaderDifatEntries; ++i)
        putU32(out, i < fatSectors ? firstFat + i : kFreeSector);

    // Stream, padded to whole sectors.
    out.append(stream);
    out.append(QByteArray(qsizetype(streamSectors) * kSectorSize - stream.size(), '\0'));

    // Directory: the root, the stream, two unused entries.
    out.append(dirEntry(QStringLiteral("Root Entry"), kTypeRoot, 1, kEndOfChain, 0));
    out.append(dirEntry(streamName, kTypeStream, kNoStream, 0, quint32(streamSize)));
    for (int i = 0; i < 2; ++i)
        out.append(dirEntry(QString(), 0, kNoStream, 0, 0));

    for (quint32 id : fat)
        putU32(out, id);

    for (quint32 d = 0; d < difatSectors; ++d) {
        for (quint32 i = 0; i < kIdsPerSector - 1; ++i) {
            const quint32 fatIndex = kHeaderDifatEntries + d * (kIdsPerSector - 1) + i;
            putU32(out, fatIndex < fatSectors ? firstFat + fatIndex : kFreeSector);
        }
        putU32(out, d + 1 < difatSectors ? firstDifat + d + 1 : kEndOfChain);
    }
    Q_ASSERT(out.size() == qsizetype(totalSectors + 1) * kSectorSize);
    return out;
}

bool CompoundFileReader::open(QByteArrayView file, QString *error)
{
    m_file = file;
    m_fat.clear();
    m_entries.clear();
    if (file.size() < kSectorSize || QByteArrayView(file.first(8)) != QByteArrayView(kSignature, 8))
        return fail(error, QStringLiteral("not a compound file"));

    const char *h = file.data();
    const quint16 major = getU16(h + 26);
    const quint16 shift = getU16(h + 30);
    if (getU16(h + 28) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)))
        return fail(error, QStringLiteral("unsupported compound file version"));
    m_sectorSize = 1u << shift;
    if (quint64(file.size()) < m_sectorSize)
        return fail(error, QStringLiteral("compound file truncated"));
    // Sector n starts at (n + 1) * sector size; a short last sector reads as
    // if padded with zeros.
    m_sectorCount = ceilDiv(quint64(file.size()) - m_sectorSize, m_sectorSize);

    const quint32 idsPerSector = m_sectorSize / 4;
    const quint32 fatCount = getU32(h + 44);
    const quint32 firstDir = getU32(h + 48);
    quint32 difatNext = getU32(h + 68);
    const quint32 difatCount = getU32(h + 72);
    if (fatCount == 0 || fatCount > m_sectorCount || difatCount > m_sectorCount)
        return fail(error, QStringLiteral("bad sector allocation table size"));

    // Sector numbers of the FAT: 109 in the header, the rest in DIFAT sectors.
    std::vector<quint32> fatSectors;
    fatSectors.reserve(fatCount);
    for (int i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(getU32(h + 76 + 4 * i));
    for (quint32 d = 0; d < difatCount && fatSectors.size() < fatCount; ++d) {
        if (difatNext >= m_sectorCount)
            return fail(error, QStringLiteral("bad DIFAT chain"));
        const qsizetype at = qsizetype(difatNext + 1) * m_sectorSize;
        for (quint32 i = 0; i + 1 < idsPerSector && fatSectors.size() < fatCount; ++i) {
            const qsizetype pos = at + 4 * i;
            fatSectors.push_back(pos + 4 <= file.size() ? getU32(file.data() + pos) : kFreeSector);
        }
        const qsizetype nextPos = at + 4 * (idsPerSector - 1);
        difatNext = nextPos + 4 <= file.size() ? getU32(file.data() + nextPos) : kEndOfChain;
    }
    if (fatSectors.size() < fatCount)
        return fail(error, QStringLiteral("sector allocation table incomplete"));

    m_fat.reserve(std::size_t(fatCount) * idsPerSector);
    for (quint32 s : fatSectors) {
        if (s >= m_sectorCount)
            return fail(error, QStringLiteral("sector allocation table outside the file"));
        const qsizetype at = qsizetype(s + 1) * m_sectorSize;
        for (quint32 i = 0; i < idsPerSector; ++i) {
            const qsizetype pos = at + 4 * i;
            m_fat.push_back(pos + 4 <= file.size() ? getU32(file.data() + pos) : kFreeSector);
        }
    }

    QByteArray dir;
    if (!readChain(firstDir, 0, &dir, error))
        return false;
    for (qsizetype at = 0; at + kDirEntrySize <= dir.size(); at += kDirEntrySize) {
        const char *e = dir.constData() + at;
        Entry entry;
        const quint16 nameBytes = std::min<quint16>(getU16(e + 64), 64);
        for (int i = 0; i + 1 < nameBytes; i += 2) {
            const quint16 c = getU16(e + i);
            if (c == 0)
                break;
            entry.name.append(QChar(c));
        }
        entry.type = quint8(e[66]);
        entry.left = getU32(e + 68);
        entry.right = getU32(e + 72);
        entry.child = getU32(e + 76);
        entry.start = getU32(e + 116);
        entry.size = getU32(e + 120);
        // Version 3 files may leave garbage in the size's high half.
        if (major == 4)
            entry.size |= quint64(getU32(e + 124)) << 32;
        m_entries.push_back(entry);
    }
    if (m_entries.empty() || m_entries[0].type != kTypeRoot)
        return fail(error, QStringLiteral("compound file has no root storage"));
    return true;
}

const CompoundFileReader::Entry *CompoundFileReader::findInRoot(const QString &name) const
{
    // Walk the tree of the root's children; visited guards against cycles.
    std::vector<bool> visited(m_entries.size(), false);
    std::vector<quint32> pending{m_entries[0].child};
    while (!pending.empty()) {
        const quint32 i = pending.back();
        pending.pop_back();
        if (i >= m_entries.size() || visited[i])
            continue;
        visited[i] = true;
        const Entry &e = m_entries[i];
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
        pending.push_back(e.left);
        pending.push_back(e.right);
    }
    return nullptr;
}

bool CompoundFileReader::hasStream(const QString &name) const
{
    const Entry *e = m_entries.empty() ? nullptr : findInRoot(name);
    return e && e->type == kTypeStream;
}

// Reads the sectors of the chain starting at start: sectorsWanted of them,
// or the whole chain when sectorsWanted is 0. A chain that visits a sector
// twice is damaged.
bool CompoundFileReader::readChain(quint32 start, quint64 sectorsWanted, QByteArray *out,
                                   QString *error) const
{
    out->clear();
    std::vector<bool> visited(m_sectorCount, false);
    quint32 sector = start;
    quint64 count = 0;
    while (sectorsWanted == 0 ? sector != kEndOfChain : count < sectorsWanted) {
        if (sector >= m_sectorCount || sector >= m_fat.size())
            return fail(error, QStringLiteral("sector chain leaves the file"));
        if (visited[sector])
            return fail(error, QStringLiteral("sector chain loops"));
        visited[sector] = true;
        ++count;
        const qsizetype at = qsizetype(sector + 1) * m_sectorSize;
        const qsizetype available = std::min<qsizetype>(m_sectorSize, m_file.size() - at);
        out->append(m_file.data() + at, available);
        out->append(QByteArray(m_sectorSize - available, '\0'));
        sector = m_fat[sector];
    }
    return true;
}

bool CompoundFileReader::readStream(const QString &name, QByteArray *stream, QString *error) const
{
    const Entry *e = m_entries.empty() ? nullptr : findInRoot(name);
    if (!e || e->type != kTypeStream)
        return fail(error, QStringLiteral("no stream \"%1\" in the compound file").arg(name));
    if (e->size < quint64(kMiniStreamCutoff))
        return fail(error, QStringLiteral("stream \"%1\" is in the mini stream, which is not supported").arg(name));
    const quint64 sectors = (e->size + m_sectorSize - 1) / m_sectorSize;
    if (sectors > m_sectorCount)
        return fail(error, QStringLiteral("stream \"%1\" is larger than the file").arg(name));
    if (!readChain(e->start, sectors, stream, error))
        return false;
    stream->truncate(qsizetype(e->size));
    return true;
}

} // namespace kelvar::xls
