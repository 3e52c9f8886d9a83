#include "Frame.h"

#include "Catalogue.h"

namespace kelvar::link {

quint16 crc16(const char *data, qsizetype size)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

quint16 crc16(const QByteArray &bytes)
{
    return crc16(bytes.constData(), bytes.size());
}

QByteArray AppendCrc(const QByteArray &frame)
{
    const quint16 crc = crc16(frame);
    QByteArray out = frame;
    out.append(static_cast<char>(crc & 0xFF));
    out.append(static_cast<char>(crc >> 8));
    return out;
}

bool IsFrameCrcValid(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const quint16 crc = crc16(frame.constData(), frame.size() - 2);
    return static_cast<quint8>(frame[frame.size() - 2]) == (crc & 0xFF) &&
           static_cast<quint8>(frame[frame.size() - 1]) == (crc >> 8);
}

QByteArray envelope(const QByteArray &frame, Protocol protocol, quint8 address)
{
    if (protocol == Protocol::Modbus)
        return AppendCrc(QByteArray(1, static_cast<char>(address)) + frame);
    return AppendCrc(frame);
}

qsizetype passwordBytesAt(const QByteArray &frame, Protocol protocol)
{
    const qsizetype code = protocol == Protocol::Modbus ? 1 : 0;
    return frame.size() > code + 2 && static_cast<quint8>(frame[code]) == fn::Password ? code + 2 : -1;
}

bool isCompleteRs485(const QByteArray &buffer)
{
    return buffer.size() > 1 && buffer.size() >= static_cast<quint8>(buffer[1]) + 2;
}

bool isCompleteModbus(const QByteArray &buffer, quint8 address)
{
    if (buffer.size() <= 2)
        return false;
    const int frameSize = static_cast<quint8>(buffer[2]) + 3;
    if (buffer.size() < frameSize)
        return false;
    return static_cast<quint8>(buffer[0]) == address && IsFrameCrcValid(buffer.left(frameSize));
}

bool isErrorReply(const QByteArray &response, Protocol protocol)
{
    return response.size() == 5 && static_cast<quint8>(response[0]) >= 0x80 && static_cast<quint8>(response[1]) == 3 &&
           (protocol == Protocol::Modbus || IsFrameCrcValid(response));
}

QString errorCodeMessage(int code)
{
    switch (code) {
    case 1: return QStringLiteral("Ошибка: Неизвестная функция");
    case 2: return QStringLiteral("Ошибка: Неверная длина запроса");
    case 3: return QStringLiteral("Ошибка: Неверная контрольная сумма");
    case 4: return QStringLiteral("Ошибка: Неверные данные запроса");
    case 5: return QStringLiteral("Ошибка: Память защищена");
    case 6: return QStringLiteral("Ошибка: Нет доступа для записи");
    default: return QStringLiteral("Неизвестная ошибка");
    }
}

QString errorReplyText(const QByteArray &response)
{
    const quint8 function = response.isEmpty() ? 0 : static_cast<quint8>(response[0]);
    const int code = response.size() > 2 ? static_cast<quint8>(response[2]) : 0;
    return errorCodeMessage(code) + QStringLiteral(" (") + CommandName(function) + QLatin1Char(')');
}

const QString WrongResponseText = QStringLiteral("Неверный отклик");

Classification classifyResponse(const QByteArray &response, const QByteArray &request, Protocol protocol)
{
    Classification result;
    if (isErrorReply(response, protocol)) {
        result.kind = ResponseKind::ErrorReply;
        result.errorCode = static_cast<quint8>(response[2]);
        result.text = errorReplyText(response);
        return result;
    }
    if (protocol == Protocol::Rs485) {
        const bool echoed = !response.isEmpty() && !request.isEmpty() && response[0] == request[0];
        if (!echoed) {
            result.kind = ResponseKind::WrongResponse;
            result.text = WrongResponseText;
        }
    }
    return result;
}

} // namespace kelvar::link
