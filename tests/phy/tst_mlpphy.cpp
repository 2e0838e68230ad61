#include "mlpphy.h"

#include <QtTest>

using marlune::MLP::MLPPhy;

class TestMLPPhy : public QObject
{
    Q_OBJECT

private slots:
    void baseLinkAnswersWithoutDevice()
    {
        MLPPhy link;
        link.open("usb:m/0");
        const uint8_t frame[] = {0xAA, 0xCC};
        QVERIFY(!link.write(frame, sizeof frame));
        const auto result = link.readByte();
        QCOMPARE(result.empty, 1u);
        QCOMPARE(link.lastError(), 0);
        link.close();
        link.close();
    }

    void errorStringHasOnlyOkAndUnknown_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ok") << 0 << "OK";
        QTest::newRow("seven") << 7 << "Unknown";
        QTest::newRow("negative") << -1 << "Unknown";
    }

    void errorStringHasOnlyOkAndUnknown()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        MLPPhy link;
        QCOMPARE(QString::fromStdString(link.errorString(code)), text);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhy)
#include "tst_mlpphy.moc"
