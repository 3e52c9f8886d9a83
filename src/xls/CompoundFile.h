// The compound file (OLE2 structured storage) container of an .xls file:
// a FAT-chained set of 512-byte sectors holding named streams.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace kelvar::xls {

// Streams shorter than this live in the mini stream; the writer pads the
// stream up to it so that every file it writes needs no mini stream.
inline constexpr qsizetype kMiniStreamCutoff = 4096;

// Builds a version 3 compound file whose root storage holds one stream.
// A stream shorter than kMiniStreamCutoff is padded with zeros to that size,
// and the directory records the padded size. streamName has at most 31
// characters.
QByteArray writeCompoundFile(const QString &streamName, const QByteArray &stream);

// Reads streams from a compound file held in memory. Every sector number,
// chain and size is checked against the file, so malformed input gives an
// error and never a read outside the buffer or an endless loop.
class CompoundFileReader {
public:
    // Parses the header, the sector allocation table and the directory.
    bool open(QByteArrayView file, QString *error);

    // True when the root storage holds a stream of that name (compared
    // without regard to case, as the container does).
    bool hasStream(const QString &name) const;

    // The content of the root storage's stream of that name.
    bool readStream(const QString &name, QByteArray *stream, QString *error) const;

private:
    struct Entry {
        QString name;
        quint8 type = 0;
        quint32 left = 0;
        quint32 right = 0;
        quint32 child = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    const Entry *findInRoot(const QString &name) const;
    bool readChain(quint32 start, quint64 sectorsWanted, QByteArray *out, QString *error) const;

    QByteArrayView m_file;
    quint32 m_sectorSize = 512;
    quint32 m_sectorCount = 0;
    std::vector<quint32> m_fat;
    std::vector<Entry> m_entries;
};

} // namespace kelvar::xls
