#include "mlpusbidentities.h"

#include <QtTest>

using marlune::MLP::MLPUsbIdentities;

// The build writes the udev rules from the rows of the identity table; a row it cannot read
// would leave a device the links drive without access rights for the user.
class TestMLPUsbIdentities : public QObject
{
    Q_OBJECT

private slots:
    void udevRulesGrantExactlyTheTablesDevices()
    {
        QFile rules(QStringLiteral(MARLUNE_UDEV_RULES_FILE));
        QVERIFY2(rules.open(QIODevice::ReadOnly | QIODevice::Text), MARLUNE_UDEV_RULES_FILE);
        const QRegularExpression idPair(
            QLatin1String(R"re(ATTR\{idVendor\}=="([0-9a-f]{4})", ATTR\{idProduct\}=="([0-9a-f]{4})")re"));
        QSet<QString> granted;
        for (const QString& line : QString::fromUtf8(rules.readAll()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = idPair.match(line);
            if (match.hasMatch()) {
                granted.insert(match.captured(1) + QLatin1Char(':') + match.captured(2));
            }
        }

        QSet<QString> table;
        for (const MLPUsbIdentities::Identity& identity : MLPUsbIdentities::kIdentities) {
            table.insert(QStringLiteral("%1:%2")
                             .arg(identity.vendorId, 4, 16, QLatin1Char('0'))
                             .arg(identity.productId, 4, 16, QLatin1Char('0')));
        }
        QCOMPARE(granted, table);
    }
};

QTEST_GUILESS_MAIN(TestMLPUsbIdentities)
#include "tst_mlpusbidentities.moc"
