#include "deviceinfodlg.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

using marlune::MLP::MLPLinkKind;

class TestDeviceInfoDlg : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowModelAndVersions_data();
    void rowsShowModelAndVersions();
    void formIsAReadOnlyTableWithOk();
    void okClosesTheDialog();
    void everyRowShowsWholeWithoutScrolling();
};

void TestDeviceInfoDlg::rowsShowModelAndVersions_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("fwVersion");
    QTest::addColumn<int>("hwVersion");
    QTest::addColumn<QString>("fwText");
    QTest::addColumn<QString>("hwText");
    QTest::addColumn<int>("linkKind");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("unitTexts");

    const int maker = int(MLPLinkKind::MakerUsb);
    const QStringList makerUnit{"maker USB", "usb:m/3", "ML0042"};
    QTest::newRow("BCD versions") << "DEMO-5" << 0x0105 << 0x0100 << "1.05"
                                  << "1.00" << maker << "ML0042" << makerUnit;
    QTest::newRow("nibbles above nine") << "DEMO-5" << 0x0A0B << 0x0112 << "a.0b"
                                        << "1.12" << maker << "ML0042" << makerUnit;
    QTest::newRow("two-digit major") << "DEMO-5" << 0x1299 << 0x0009 << "12.99"
                                     << "0.09" << int(MLPLinkKind::FtdiBridge) << "FT01"
                                     << QStringList{"FTDI bridge", "usb:m/3", "FT01"};
    QTest::newRow("failed selection") << "DEMO-5" << 0xFFFF << 0xFFFF << "ff.ff"
                                      << "ff.ff" << maker << "ML0042" << makerUnit;
    QTest::newRow("no device") << "N/A" << 0 << 0 << "0.00"
                               << "0.00" << int(MLPLinkKind::Unknown) << ""
                               << QStringList{"unknown link", "usb:m/3", "not read"};
}

void TestDeviceInfoDlg::rowsShowModelAndVersions()
{
    QFETCH(QString, model);
    QFETCH(int, fwVersion);
    QFETCH(int, hwVersion);
    QFETCH(QString, fwText);
    QFETCH(QString, hwText);
    QFETCH(int, linkKind);
    QFETCH(QString, serial);
    QFETCH(QStringList, unitTexts);

    MLPDeviceInfoNode node;
    node.model = model;
    node.address = QStringLiteral("usb:m/3");
    node.infoWord0 = 0x1234;
    node.fwVersion = static_cast<uint16_t>(fwVersion);
    node.hwVersion = static_cast<uint16_t>(hwVersion);
    node.maxFrameLength = 64;
    node.linkKind = static_cast<MLPLinkKind>(linkKind);
    node.serial = serial;
    DeviceInfoDlg dialog(node);

    auto* table = dialog.findChild<QTableWidget*>("deviceInfoTable");
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 6);
    const QStringList properties = {"Model", "Firmware Version", "Hardware Version",
                                    "Link",  "Address",          "Serial Number"};
    const QStringList values = QStringList{model, fwText, hwText} + unitTexts;
    for (int row = 0; row < table->rowCount(); ++row) {
        QCOMPARE(table->item(row, 0)->text(), properties.at(row));
        QCOMPARE(table->item(row, 1)->text(), values.at(row));
    }
}

void TestDeviceInfoDlg::formIsAReadOnlyTableWithOk()
{
    DeviceInfoDlg dialog{MLPDeviceInfoNode()};
    QCOMPARE(dialog.objectName(), QStringLiteral("DeviceInfoDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Information"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog.styleSheet(), QStringLiteral("QTableWidget::item:focus { border: 0px }"));

    auto* table = dialog.findChild<QTableWidget*>("deviceInfoTable");
    QCOMPARE(table->columnCount(), 2);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Propery"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Value"));
    QVERIFY(table->horizontalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table->selectionMode(), QAbstractItemView::NoSelection);
    QCOMPARE(table->focusPolicy(), Qt::NoFocus);
    QVERIFY(!table->showGrid());

    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok);
}

void TestDeviceInfoDlg::okClosesTheDialog()
{
    DeviceInfoDlg dialog{MLPDeviceInfoNode()};
    dialog.show();
    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestDeviceInfoDlg::everyRowShowsWholeWithoutScrolling()
{
    MLPDeviceInfoNode node;
    node.model = QStringLiteral("DEMO-G");
    node.fwVersion = 0x0105;
    node.hwVersion = 0x0100;
    node.address = QStringLiteral("usb:m/12");
    node.linkKind = MLPLinkKind::FtdiBridge;
    node.serial = QStringLiteral("FT4Z9QK2");
    DeviceInfoDlg dialog(node);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto* table = dialog.findChild<QTableWidget*>("deviceInfoTable");
    const QFontMetrics metrics(table->font());
    QVERIFY(table->columnWidth(0) >= metrics.horizontalAdvance(QStringLiteral("Hardware Version")));
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(table->verticalScrollBar()->maximum(), 0);
}

QTEST_MAIN(TestDeviceInfoDlg)
#include "tst_deviceinfodlg.moc"
