// CRC, envelopes, completion rules and classification of responses.

#include "TestUtil.h"
#include "link/Frame.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace kelvar::link;
using kelvar::test::hex;
using kelvar::test::hexText;

namespace {
// A plain bit-at-a-time CRC-16/MODBUS written from the polynomial's definition
// (shift register, non-reflected form of 0x8005 with reflected input/output),
// independent of the table-free loop under test.
quint16 referenceCrc(const QByteArray &data)
{
    quint16 reg = 0xFFFF;
    for (char c : data) {
        quint8 b = static_cast<quint8>(c);
        // Reflect input byte.
        quint8 r = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (1 << i))
                r |= static_cast<quint8>(0x80 >> i);
        reg ^= static_cast<quint16>(r) << 8;
        for (int i = 0; i < 8; ++i)
            reg = (reg & 0x8000) ? static_cast<quint16>((reg << 1) ^ 0x8005) : static_cast<quint16>(reg << 1);
    }
    // Reflect output.
    quint16 out = 0;
    for (int i = 0; i < 16; ++i)
        if (reg & (1 << i))
            out |= static_cast<quint16>(0x8000 >> i);
    return out;
}
} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void crcVectors_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("crc");
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
        QTest::newRow("empty") << QByteArray() << 0xFFFF;
        QTest::newRow("read version") << hex("00 02") << 0x7180;
        QTest::newRow("read number") << hex("01 02") << 0xE181;
        // Published CRC-16/MODBUS frames: read holding registers request and reply.
        QTest::newRow("modbus 01 03 00 00 00 0A") << hex("01 03 00 00 00 0A") << 0xCDC5;
        QTest::newRow("modbus 11 03 00 6B 00 03") << hex("11 03 00 6B 00 03") << 0x8776;
    }
    void crcVectors()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, crc);
        QCOMPARE(int(crc16(input)), crc);
        QCOMPARE(int(referenceCrc(input)), crc);
    }

    void crcMatchesReferenceOnRandomInput()
    {
        QRandomGenerator rng(517);
        for (int n = 0; n < 2000; ++n) {
            QByteArray data(int(rng.bounded(0, 300)), '\0');
            for (auto &c : data)
                c = char(rng.bounded(256));
            QCOMPARE(crc16(data), referenceCrc(data));
            QVERIFY(IsFrameCrcValid(AppendCrc(data)) || data.size() < 1);
        }
    }

    void envelopes_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("onLine");
        QTest::newRow("rs485 version") << hex("00 02") << int(Protocol::Rs485) << 5 << hex("00 02 80 71");
        QTest::newRow("rs485 number") << hex("01 02") << int(Protocol::Rs485) << 0 << hex("01 02 81 E1");
        QTest::newRow("modbus address 5") << hex("00 02") << int(Protocol::Modbus) << 5 << hex("05 00 02 E0 00");
    }
    void envelopes()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, protocol);
        QFETCH(int, address);
        QFETCH(QByteArray, onLine);
        QCOMPARE(hexText(envelope(frame, Protocol(protocol), quint8(address))), hexText(onLine));
    }

    void crcValidity_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("valid");
        QTest::newRow("good") << hex("00 02 80 71") << true;
        QTest::newRow("low byte wrong") << hex("00 02 81 71") << false;
        QTest::newRow("high byte wrong") << hex("00 02 80 72") << false;
        QTest::newRow("swapped") << hex("00 02 71 80") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("one byte") << hex("00") << false;
        QTest::newRow("two bytes FF FF") << hex("FF FF") << false;
    }
    void crcValidity()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, valid);
        QCOMPARE(IsFrameCrcValid(frame), valid);
    }

    void completion_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("complete");
        const int rs = int(Protocol::Rs485), mb = int(Protocol::Modbus);
        QTest::newRow("rs empty") << QByteArray() << rs << false;
        QTest::newRow("rs one byte") << hex("00") << rs << false;
        QTest::newRow("rs length 5 of 7") << hex("00 05 01 01 17") << rs << false;
        QTest::newRow("rs whole") << AppendCrc(hex("00 05 01 01 17")) << rs << true;
        QTest::newRow("rs more than whole") << AppendCrc(hex("00 05 01 01 17")) + "x" << rs << true;
        QTest::newRow("rs length byte 0") << hex("00 00") << rs << true;
        QTest::newRow("rs length 255 short") << hex("00 FF 00 00") << rs << false;
        const QByteArray mbFrame = envelope(hex("00 05 01 01 17"), Protocol::Modbus, 5);
        QTest::newRow("mb whole") << mbFrame << mb << true;
        QTest::newRow("mb without last byte") << mbFrame.left(mbFrame.size() - 1) << mb << false;
        QTest::newRow("mb empty") << QByteArray() << mb << false;
        QTest::newRow("mb two bytes") << hex("05 00") << mb << false;
        QTest::newRow("mb other address") << envelope(hex("00 05 01 01 17"), Protocol::Modbus, 6) << mb << false;
        QByteArray bad = mbFrame;
        bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 1);
        QTest::newRow("mb bad crc") << bad << mb << false;
        QTest::newRow("mb length 255 short") << hex("05 00 FF 00 00") << mb << false;
    }
    void completion()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(int, protocol);
        QFETCH(bool, complete);
        const bool got = protocol == int(Protocol::Rs485) ? isCompleteRs485(buffer) : isCompleteModbus(buffer, 5);
        QCOMPARE(got, complete);
    }

    // A MODBUS buffer one byte short of its frame (address 5, length byte 4:
    // seven bytes on the line) whose last two bytes happen to be the CRC of
    // what precedes them must not complete the response.
    void modbusPrefixPassingCrcIsNotComplete()
    {
        const QByteArray prefix = AppendCrc(hex("05 00 04 01"));
        QCOMPARE(prefix.size(), 6);
        QVERIFY(IsFrameCrcValid(prefix));
        QVERIFY(!isCompleteModbus(prefix, 5));
        QVERIFY(isCompleteModbus(AppendCrc(hex("05 00 04 01 02")), 5));
    }

    void classification_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const int rs = int(Protocol::Rs485), mb = int(Protocol::Modbus);
        const QByteArray readTime = AppendCrc(hex("04 02"));
        QTest::newRow("code 1 after read time") << hex("84 03 01 F0 D9") << readTime << rs << int(ResponseKind::ErrorReply)
                                                << QStringLiteral("Ошибка: Неизвестная функция (чтение времени)");
        QTest::newRow("code 9") << AppendCrc(hex("84 03 09")) << readTime << rs << int(ResponseKind::ErrorReply)
                                << QStringLiteral("Неизвестная ошибка (чтение времени)");
        QTest::newRow("code 6 clock write") << AppendCrc(hex("85 03 06")) << AppendCrc(hex("05 0A")) << rs
                                            << int(ResponseKind::ErrorReply)
                                            << QStringLiteral("Ошибка: Нет доступа для записи (запись времени)");
        QTest::newRow("code 2") << AppendCrc(hex("82 03 02")) << readTime << rs << int(ResponseKind::ErrorReply)
                                << QStringLiteral("Ошибка: Неверная длина запроса (запись номера)");
        QTest::newRow("code 3") << AppendCrc(hex("8E 03 03")) << readTime << rs << int(ResponseKind::ErrorReply)
                                << QStringLiteral("Ошибка: Неверная контрольная сумма (запись индикатора)");
        QTest::newRow("code 4") << AppendCrc(hex("89 03 04")) << readTime << rs << int(ResponseKind::ErrorReply)
                                << QStringLiteral("Ошибка: Неверные данные запроса (запись тарифного расписания)");
        QTest::newRow("code 5") << AppendCrc(hex("A0 03 05")) << readTime << rs << int(ResponseKind::ErrorReply)
                                << QStringLiteral("Ошибка: Память защищена (неизвестная функция)");
        QTest::newRow("rs error with bad crc") << hex("84 03 06 00 00") << readTime << rs
                                               << int(ResponseKind::WrongResponse) << QStringLiteral("Неверный отклик");
        QTest::newRow("six-byte error reply") << AppendCrc(hex("84 03 06")) + QByteArray(1, char(0)) << readTime << rs
                                              << int(ResponseKind::WrongResponse) << QStringLiteral("Неверный отклик");
        QTest::newRow("rs echo ok") << AppendCrc(hex("04 02")) << readTime << rs << int(ResponseKind::Normal) << QString();
        QTest::newRow("rs wrong function") << AppendCrc(hex("05 02")) << readTime << rs
                                           << int(ResponseKind::WrongResponse) << QStringLiteral("Неверный отклик");
        QTest::newRow("mb error, crc not rechecked") << hex("84 03 01 00 00") << hex("05 04 02 00 00") << mb
                                                     << int(ResponseKind::ErrorReply)
                                                     << QStringLiteral("Ошибка: Неизвестная функция (чтение времени)");
        QTest::newRow("mb no echo test") << AppendCrc(hex("05 02")) << hex("05 04 02 00 00") << mb
                                         << int(ResponseKind::Normal) << QString();
        QTest::newRow("rs empty response") << QByteArray() << readTime << rs << int(ResponseKind::WrongResponse)
                                           << QStringLiteral("Неверный отклик");
    }
    void classification()
    {
        QFETCH(QByteArray, response);
        QFETCH(QByteArray, request);
        QFETCH(int, protocol);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const Classification c = classifyResponse(response, request, Protocol(protocol));
        QCOMPARE(int(c.kind), kind);
        QCOMPARE(c.text, text);
    }

    // Any byte string gets a defined answer from every test.
    void arbitraryInputIsSafe()
    {
        QRandomGenerator rng(42);
        for (int n = 0; n < 20000; ++n) {
            QByteArray data(int(rng.bounded(0, 12)), '\0');
            for (auto &c : data)
                c = char(rng.bounded(256));
            isCompleteRs485(data);
            isCompleteModbus(data, quint8(rng.bounded(256)));
            IsFrameCrcValid(data);
            isErrorReply(data, Protocol::Rs485);
            errorReplyText(data);
            classifyResponse(data, data.left(2), Protocol(rng.bounded(2)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
