#pragma once
// Frames exchanged with the meter: function code, length byte (counting the
// function code and itself), data, CRC-16 low byte first. In "MODBUS" an
// address byte goes in front and the CRC covers it; the length byte does not
// count it. Everything here is pure byte handling and accepts any input.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kelvar::link {

enum class Protocol { Rs485 = 0, Modbus = 1 };

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final xor.
quint16 crc16(const char *data, qsizetype size);
quint16 crc16(const QByteArray &bytes);

// The frame with its two CRC bytes appended, low byte first.
QByteArray AppendCrc(const QByteArray &frame);

// True when the last two bytes are the CRC of everything before them.
// Fewer than three bytes never hold a valid frame.
bool IsFrameCrcValid(const QByteArray &frame);

// The frame as the engine puts it in the queue: in "MODBUS" the address goes
// in front, then the CRC is appended over address and frame.
QByteArray envelope(const QByteArray &frame, Protocol protocol, quint8 address);

// Where the secret of a frame as sent (in "MODBUS" with its address) begins:
// the data of a password request and its CRC, from which the 16-bit password
// is found again by trying them all. -1 for every other frame.
qsizetype passwordBytesAt(const QByteArray &frame, Protocol protocol);

// Completion of an accumulated "Rs-485" response: more than one byte and at
// least byte[1] + 2 of them.
bool isCompleteRs485(const QByteArray &buffer);

// Completion of an accumulated "MODBUS" response: the whole frame (address,
// length byte's count of bytes, CRC) is present, its CRC holds over the first
// byte[2] + 3 bytes, and it is addressed to us. Waiting for the whole frame
// keeps a prefix that passes the CRC by chance from being taken as the reply.
bool isCompleteModbus(const QByteArray &buffer, quint8 address);

// The error reply: exactly 5 bytes, byte[0] >= 0x80, length byte 3, and a
// valid CRC (in "MODBUS" the CRC was already checked with the address).
bool isErrorReply(const QByteArray &response, Protocol protocol);

// "Ошибка: ... (command name)" for an error reply (code at byte 2).
QString errorReplyText(const QByteArray &response);
// The message of an error code alone, without the command name.
QString errorCodeMessage(int code);

extern const QString WrongResponseText; // "Неверный отклик"

// How a complete response (address already removed) is to be handled.
enum class ResponseKind { Normal, ErrorReply, WrongResponse };
struct Classification {
    ResponseKind kind = ResponseKind::Normal;
    int errorCode = 0; // for ErrorReply
    QString text;      // the protocol-view text for ErrorReply and WrongResponse
};
// Error reply first, then (in "Rs-485" only) the echo of the request's
// function code. The request is the frame as sent (in "MODBUS" with its address).
Classification classifyResponse(const QByteArray &response, const QByteArray &request, Protocol protocol);

} // namespace kelvar::link
