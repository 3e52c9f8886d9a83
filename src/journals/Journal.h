#pragma once
// The meter's five journals as bytes and texts: the requests of a read, the
// decoding of one response into rows of cell texts, and the columns the rows
// fill. Widget-free; the journal owner, the window and the command-line
// program all work from these.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvar::journals {

enum class JournalKind { Yearly, Daily, Profile, Settings, PowerOn };
constexpr int JournalKindCount = 5;
const QList<JournalKind> &allJournalKinds();

// The function code of a journal's requests and responses, and back (false
// when the code belongs to no journal).
quint8 functionCode(JournalKind kind);
bool kindOfCode(int code, JournalKind *kind);

// What a read asks for. Yearly: year. Daily: monthIndex (0 = January) and
// year. Profile: date. Settings and power-on: nothing.
struct JournalParams {
    int year = 2000;
    int monthIndex = 0;
    QDate date;
};

// The request frames of one read (function code, length byte, data), in the
// order they go out; their number is the progress maximum.
QList<QByteArray> journalRequests(JournalKind kind, const JournalParams &params);

// A list column: caption and width in pixels.
struct JournalColumn {
    QString caption;
    int width = 0;
};
const QList<JournalColumn> &journalColumns(JournalKind kind);
QStringList journalCaptions(JournalKind kind);

// The meter number a list shows before any read.
quint32 initialMeterNumber(JournalKind kind);

// Rows of one accepted response (function code first, no address, CRC
// optional): caption first, then the further cells in column order. No row
// when the length byte is not the journal's or the record's date does not
// exist. A response of another function code gives nothing.
QList<QStringList> decodeJournalResponse(const QByteArray &response);

// Texts of the parameter codes of the settings journal and of the event codes
// of the power-on journal (empty for an unknown event).
QString settingsParameterText(int code);
QString powerEventText(int code);

// An energy count (0.00025 kWh) as a decimal text in kWh.
QString energyText(qint64 counts);

} // namespace kelvar::journals
