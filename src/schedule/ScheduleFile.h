#pragma once
// The schedule image (zone records, holiday table, transfer table, limit
// coefficient) and its schedule file (*.tsc).
//
// The file is a sequence of binary lines, each followed by 0D 0A: the 32-byte
// holiday table, the 64-byte transfer table, the coefficient byte, then one
// 7-byte zone record per line. The lines may themselves hold 0D and 0A, so the
// file is read by fixed lengths, never by searching for line ends.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kelvar::schedule {

struct ScheduleImage {
    QByteArray holidayTable;     // 32 bytes
    QByteArray transferTable;    // 64 bytes
    quint8 limitCoefficient = 1; // as stored; a reader shows 0 as 1
    QList<QByteArray> records;   // 7-byte zone records in export order

    friend bool operator==(const ScheduleImage &, const ScheduleImage &) = default;
};

constexpr int TscHeaderSize = 32 + 2 + 64 + 2 + 1 + 2;
constexpr int TscLineSize = 7 + 2;

// The file's bytes: 103 + 9 x (number of records). Tables and records of the
// wrong length are cut or padded with 00 so that every line keeps its place.
QByteArray encodeTsc(const ScheduleImage &image);

// Reads a file's bytes. A last piece shorter than a record is ignored. Fails,
// with the reason in *error, when the bytes are too short for the three header
// lines or a record's hour and minute form no time of day, so that a caller
// loads the whole file or nothing.
std::optional<ScheduleImage> decodeTsc(const QByteArray &bytes, QString *error = nullptr);

// Writes through a temporary file that replaces the target only once it is
// complete, so a failed save leaves the previous file as it was.
bool writeTscFile(const QString &path, const ScheduleImage &image, QString *error = nullptr);
std::optional<ScheduleImage> readTscFile(const QString &path, QString *error = nullptr);

} // namespace kelvar::schedule
