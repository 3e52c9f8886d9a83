#pragma once
// The meter's answer to one request: checks (unknown function, length, write
// access, data) and the reply layouts of every command of the catalogue.

#include <QByteArray>

namespace kelvar::sim {

class MeterModel;
struct MeterState;

// Error codes the meter answers with.
namespace err {
enum : quint8 { UnknownFunction = 1, WrongLength = 2, BadCrc = 3, BadData = 4, Protected = 5, NoAccess = 6 };
}

// The error reply body: code + 0x80, length byte 3, error code (no CRC).
QByteArray errorBody(quint8 function, quint8 code);

class Commands {
public:
    Commands(MeterModel &model, qint64 hostMs);
    // Request code, length byte, data (CRC already checked) -> reply body without CRC.
    QByteArray answer(const QByteArray &frame);
    bool changedState() const { return m_changed; }

private:
    QByteArray read(quint8 code, const QByteArray &data);
    QByteArray write(quint8 code, const QByteArray &data);
    QByteArray password(const QByteArray &data);
    QByteArray yearRecord(const QByteArray &data);
    QByteArray dayRecord(quint8 code, const QByteArray &data);
    QByteArray journalEntry(quint8 code, quint8 index);
    void journal(quint8 parameter);

    MeterModel &m_model;
    MeterState &m_state;
    qint64 m_hostMs;
    quint32 m_now; // meter seconds
    bool m_changed = false;
};

} // namespace kelvar::sim
