// The barcode scanner: the receive buffer's rules on byte pieces, and the
// scanner port over a pseudo-terminal fed by the simulated scanner.

#include "link/QSerialPortChannel.h"
#include "metersim/ScannerServer.h"
#include "scanner/ScanBuffer.h"
#include "scanner/ScannerPort.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvar;
using scanner::ScanBuffer;
using Ending = sim::ScannerServer::LineEnding;

Q_DECLARE_METATYPE(QList<QByteArray>)

class TestScanner : public QObject
{
    Q_OBJECT

private slots:
    void buffer_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QList<QList<int>>>("codes");   // the codes each piece completes
        QTest::addColumn<QByteArray>("left");

        QTest::newRow("code in pieces: set once, at the CR")
            << QList<QByteArray>{"12", "34", "5", "\r"} << QList<QList<int>>{{}, {}, {}, {12345}} << QByteArray();
        QTest::newRow("CR LF codes in a row: the LF goes with the blanks")
            << QList<QByteArray>{"12345\r", "\n4711\r", "\n"} << QList<QList<int>>{{12345}, {4711}, {}}
            << QByteArray("\n");
        QTest::newRow("two codes in one piece both count")
            << QList<QByteArray>{"12345\r\n4711\r\n77"} << QList<QList<int>>{{12345, 4711}} << QByteArray("\n77");
        QTest::newRow("blanks and control characters around the digits")
            << QList<QByteArray>{" \t\x02" "042\x03 \r"} << QList<QList<int>>{{42}} << QByteArray();
        QTest::newRow("letters give 0") << QList<QByteArray>{"12A45\r"} << QList<QList<int>>{{0}} << QByteArray();
        QTest::newRow("two codes run together give 0")
            << QList<QByteArray>{"123 456\r"} << QList<QList<int>>{{0}} << QByteArray();
        QTest::newRow("empty code gives 0") << QList<QByteArray>{"\r"} << QList<QList<int>>{{0}} << QByteArray();
        QTest::newRow("no CR never sets") << QList<QByteArray>{"12345", "\n678"} << QList<QList<int>>{{}, {}}
                                          << QByteArray("12345\n678");
        QTest::newRow("largest number") << QList<QByteArray>{"131071\r"} << QList<QList<int>>{{131071}} << QByteArray();
        QTest::newRow("beyond the range: held at 131071")
            << QList<QByteArray>{"131072\r", "99999999999\r"} << QList<QList<int>>{{131071}, {131071}} << QByteArray();
        QTest::newRow("too long for any integer gives 0")
            << QList<QByteArray>{"123456789012345678901234\r"} << QList<QList<int>>{{0}} << QByteArray();
        QTest::newRow("negative gives 0") << QList<QByteArray>{"-5\r"} << QList<QList<int>>{{0}} << QByteArray();
    }
    void buffer()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QList<QList<int>>, codes);
        QFETCH(QByteArray, left);
        ScanBuffer buffer;
        for (int i = 0; i < pieces.size(); ++i)
            QCOMPARE(buffer.append(pieces[i]), codes[i]);
        QCOMPARE(buffer.pending(), left);
    }

    // The real port on a pseudo-terminal: what the simulated scanner sends,
    // however it is cut, arrives as the codes, and the port starts only in
    // production mode with the scanner switched on.
    void port_data()
    {
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("code in pieces") << QStringList{"12345"} << 3 << int(Ending::Cr) << QList<int>{12345};
        QTest::newRow("CR LF codes in a row") << QStringList{"000123", "4711", "131071", "99"} << 1 << int(Ending::CrLf)
                                              << QList<int>{123, 4711, 131071, 99};
        QTest::newRow("letters") << QStringList{"AB12"} << 2 << int(Ending::CrLf) << QList<int>{0};
        QTest::newRow("no CR") << QStringList{"555"} << 1 << int(Ending::None) << QList<int>{};
    }
    void port()
    {
        QFETCH(QStringList, sent);
        QFETCH(int, pieces);
        QFETCH(int, ending);
        QFETCH(QList<int>, codes);
        sim::ScannerServer server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        scanner::ScannerPort port(std::make_unique<link::QSerialPortChannel>());
        port.setPortName(server.devicePath());
        QSignalSpy scanned(&port, &scanner::ScannerPort::codeScanned);

        port.start(true, true);
        QVERIFY(port.isOpen());
        for (const QString &code : sent)
            server.sendCode(code, pieces, Ending(ending), 30);
        if (codes.isEmpty()) {
            // Nothing completes: wait until the bytes are in the buffer.
            QTRY_COMPARE_WITH_TIMEOUT(port.buffer().pending(), sent.join(QString()).toLatin1(), 5000);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(scanned.size(), codes.size(), 5000);
        }
        QList<int> got;
        for (const QList<QVariant> &s : scanned)
            got << s[0].toInt();
        QCOMPARE(got, codes);
    }

    void startAndSwitch()
    {
        sim::ScannerServer server;
        QVERIFY(server.start());
        scanner::ScannerPort port(std::make_unique<link::QSerialPortChannel>());
        port.setPortName(server.devicePath());
        port.start(false, true);   // bench mode: never opened
        QVERIFY(!port.isOpen());
        port.start(true, false);   // switched off
        QVERIFY(!port.isOpen());
        port.CheckScanerClick(true);
        QVERIFY(port.isOpen());
        port.CheckScanerClick(false);
        QVERIFY(!port.isOpen());

        // Another port is chosen: closed at once, the new one opened a moment later.
        QSignalSpy failed(&port, &scanner::ScannerPort::openFailed);
        port.CheckScanerClick(true);
        port.ComboScanerChange(QStringLiteral("/dev/kelvar-no-such-port"));
        QVERIFY(!port.isOpen());
        QVERIFY(failed.wait(2000));
        QVERIFY(!port.isOpen());
        port.ComboScanerChange(server.devicePath());
        QTRY_VERIFY_WITH_TIMEOUT(port.isOpen(), 2000);
        QCOMPARE(failed.size(), 1);
        // A missing port at start is silent.
        port.close();
        port.setPortName(QStringLiteral("/dev/kelvar-no-such-port"));
        port.start(true, true);
        QVERIFY(!port.isOpen());
        QCOMPARE(failed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
