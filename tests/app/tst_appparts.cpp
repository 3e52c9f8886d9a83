// The About window, the protocol view and the platform services.

#include "platform/Platform.h"
#include "app/ProtocolTab.h"
#include "app/TAboutBox.h"
#include "support/Control.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

using namespace kelvar;

class TestAppParts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void memoryLines_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("available");
        const QString sep = QLocale().groupSeparator();
        QTest::newRow("2 GB") << quint64(2097152) * 1024 << "Всего физической памяти: 2" + sep + "097" + sep + "152 KB"
                              << "Доступно физической памяти: 2" + sep + "097" + sep + "152 KB";
        QTest::newRow("nothing") << quint64(0) << "Всего физической памяти: 0 KB" << "Доступно физической памяти: 0 KB";
        QTest::newRow("less than half a KB") << quint64(511) << "Всего физической памяти: 0 KB"
                                             << "Доступно физической памяти: 0 KB";
        QTest::newRow("rounded up") << quint64(1536) << "Всего физической памяти: 2 KB" << "Доступно физической памяти: 2 KB";
        // Beyond what a 32-bit status could report (4 194 304 KB).
        QTest::newRow("64 GB") << (quint64(64) << 30) << "Всего физической памяти: 67" + sep + "108" + sep + "864 KB"
                               << "Доступно физической памяти: 67" + sep + "108" + sep + "864 KB";
    }
    void memoryLines()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, total);
        QFETCH(QString, available);
        QCOMPARE(app::TAboutBox::totalMemoryLine(bytes), total);
        QCOMPARE(app::TAboutBox::availableMemoryLine(bytes), available);
    }

    void aboutBox()
    {
        app::TAboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(box.findChild<QLabel *>("ProductName")->text(), QStringLiteral("3-х тарифный 3-х фазный эл. счетчик"));
        QCOMPARE(box.findChild<QLabel *>("Label11")->text(), QStringLiteral("Программирование Kelvar 517"));
        QCOMPARE(box.findChild<QLabel *>("Version")->text(), QStringLiteral("Версия 1.2"));
        QVERIFY(!box.findChild<QLabel *>("Image2")->pixmap().isNull());
        QCOMPARE(box.findChild<QLabel *>("Image1")->size(), QSize(165, 93));
        QVERIFY(box.findChild<QPushButton *>("OKButton")->isDefault());

        box.setMemorySource([] {
            platform::MemoryStatus status;
            status.ok = true;
            status.totalPhysical = quint64(32) << 30;
            status.availablePhysical = quint64(5) << 30;
            return status;
        });
        QList<QUrl> opened;
        box.setUrlOpener([&](const QUrl &url) { opened << url; return true; });
        box.show(); // FormActivate
        // Nothing is clipped: every text gets at least the room it asks for.
        QVERIFY(box.width() >= 394 && box.height() >= 281);
        for (const QLabel *label : box.findChildren<QLabel *>()) {
            const QSize need = label->sizeHint();
            QVERIFY2(label->width() >= need.width() && label->height() >= need.height(),
                     qPrintable(label->objectName() + ": " + label->text()));
        }
        const QString sep = QLocale().groupSeparator();
        QCOMPARE(box.findChild<QLabel *>("Label1")->text(), "Всего физической памяти: 33" + sep + "554" + sep + "432 KB");
        QCOMPARE(box.findChild<QLabel *>("Label2")->text(), "Доступно физической памяти: 5" + sep + "242" + sep + "880 KB");

        QTest::mouseClick(box.findChild<QLabel *>("Label3"), Qt::LeftButton);
        QTest::mouseClick(box.findChild<QLabel *>("Label6"), Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0].host(), QStringLiteral("www.example.org"));
        QCOMPARE(opened[1].toString(), QStringLiteral("mailto:support@example.org"));

        QTest::mouseClick(box.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }

    void platformMemory()
    {
        const platform::MemoryStatus status = platform::memoryStatus();
        QVERIFY(status.ok);
        QVERIFY(status.totalPhysical > 0);
        QVERIFY(status.availablePhysical <= status.totalPhysical);
        QVERIFY(!platform::computerName().isEmpty());
        QVERIFY(!platform::userName().isEmpty());
    }

    void protocolBatches()
    {
        QWidget page;
        app::ProtocolTab tab(&page);
        auto *view = test::control<QPlainTextEdit>(page, "Memo_Terminal");
        QSignalSpy blocks(view->document(), &QTextDocument::blockCountChanged);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 20000; ++i)
            tab.addLine(QStringLiteral("12:00:00.%1 Received: 00 07 05 01 01 17 05 AA BB ").arg(i % 1000, 3, 10, QLatin1Char('0')));
        QVERIFY(QTest::qWaitFor([&] { return view->blockCount() >= 20000; }, 5000));
        qInfo("20000 trace lines shown in %lld ms", timer.elapsed());
        QVERIFY(blocks.count() <= 3); // one append for the whole burst
        QCOMPARE(view->document()->findBlockByNumber(19999).text().left(12), QStringLiteral("12:00:00.999"));

        test::control<QCheckBox>(page, "CheckProtocol")->setChecked(true);
        tab.addLine(QStringLiteral("dropped"));
        tab.flush();
        QVERIFY(!view->toPlainText().contains("dropped"));
        test::control<QCheckBox>(page, "CheckProtocol")->setChecked(false);
        tab.addLine(QStringLiteral("shown"));
        tab.flush();
        QVERIFY(view->toPlainText().endsWith("shown"));
    }

    void protocolKeepsNewest()
    {
        QWidget page;
        app::ProtocolTab tab(&page);
        auto *view = test::control<QPlainTextEdit>(page, "Memo_Terminal");
        const int total = app::ProtocolTab::MaximumLines + 500;
        for (int i = 0; i < total; ++i)
            tab.addLine(QString::number(i));
        tab.flush();
        QCOMPARE(view->blockCount(), app::ProtocolTab::MaximumLines);
        QCOMPARE(view->document()->lastBlock().text(), QString::number(total - 1));
        QCOMPARE(view->document()->firstBlock().text(), QString::number(500));
    }
};

QTEST_MAIN(TestAppParts)
#include "tst_appparts.moc"
