#include "applicationversion.h"

#include <QTest>

class TestApplicationVersion : public QObject
{
    Q_OBJECT

private slots:
    void versionTextHasTwoDigitMinorAndTrailingBlank();
    void titleIsNameBlankAndVersion();
};

void TestApplicationVersion::versionTextHasTwoDigitMinorAndTrailingBlank()
{
    QCOMPARE(marlune::applicationVersionText(), QStringLiteral("V0.28 "));
}

void TestApplicationVersion::titleIsNameBlankAndVersion()
{
    QCOMPARE(marlune::mainWindowTitle(), QStringLiteral("Marlune Firmware Update Tool V0.28 "));
}

QTEST_GUILESS_MAIN(TestApplicationVersion)
#include "tst_applicationversion.moc"
