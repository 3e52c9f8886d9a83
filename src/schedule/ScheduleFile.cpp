#include "ScheduleFile.h"

#include "Tables.h"
#include "ZoneRecord.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace kelvar::schedule {

namespace {

const QByteArray LineEnd("\r\n", 2);

void appendLine(QByteArray &bytes, const QByteArray &line, int size)
{
    bytes.append(line.left(size).leftJustified(size, '\0'));
    bytes.append(LineEnd);
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QByteArray encodeTsc(const ScheduleImage &image)
{
    QByteArray bytes;
    bytes.reserve(TscHeaderSize + TscLineSize * image.records.size());
    appendLine(bytes, image.holidayTable, HolidayTableSize);
    appendLine(bytes, image.transferTable, TransferTableSize);
    appendLine(bytes, QByteArray(1, static_cast<char>(image.limitCoefficient)), 1);
    for (const QByteArray &record : image.records)
        appendLine(bytes, record, RecordSize);
    return bytes;
}

std::optional<ScheduleImage> decodeTsc(const QByteArray &bytes, QString *error)
{
    if (bytes.size() < TscHeaderSize) {
        setError(error, QStringLiteral("Файл слишком короткий для тарифного расписания: "
                                       "в нем нет таблиц праздников, переносов и коэффициента лимита."));
        return std::nullopt;
    }
    ScheduleImage image;
    image.holidayTable = bytes.mid(0, HolidayTableSize);
    image.transferTable = bytes.mid(HolidayTableSize + 2, TransferTableSize);
    image.limitCoefficient = static_cast<quint8>(bytes[HolidayTableSize + 2 + TransferTableSize + 2]);
    for (qsizetype at = TscHeaderSize; bytes.size() - at >= RecordSize; at += TscLineSize) {
        const QByteArray record = bytes.mid(at, RecordSize);
        QString reason;
        if (!decodeRecord(record, &reason)) {
            setError(error, QStringLiteral("Запись %1 файла тарифного расписания: %2.")
                                .arg(image.records.size() + 1)
                                .arg(reason));
            return std::nullopt;
        }
        image.records.append(record);
    }
    return image;
}

bool writeTscFile(const QString &path, const ScheduleImage &image, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("Не удалось создать файл %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    const QByteArray bytes = encodeTsc(image);
    // Without a commit the temporary file is discarded and the target stays.
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        setError(error, QStringLiteral("Не удалось записать файл %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

std::optional<ScheduleImage> readTscFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Не удалось открыть файл %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return std::nullopt;
    }
    return decodeTsc(file.readAll(), error);
}

} // namespace kelvar::schedule
