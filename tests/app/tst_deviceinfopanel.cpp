// The device-information panel of the main window: the two tables, the
// product and batch labels, and the batch QR code checked against the
// encoder's own symbol.

#include "customersettings.h"
#include "fakehidbackend.h"
#include "mainwindow.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QLabel>
#include <QTableWidget>
#include <QtTest>

#include <qrencode.h>

#include <memory>

using InfoList = QList<QPair<QString, QString>>;
Q_DECLARE_METATYPE(InfoList)

namespace {
const QString kPlaceholder(25, QLatin1Char('?'));

template <typename T>
T* Child(QWidget* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

// The rows of a table as text: "#heading" for a heading row spanning both
// columns, "name=value" otherwise.
QStringList Rows(QTableWidget* pTable)
{
    QStringList rows;
    for (int r = 0; r < pTable->rowCount(); ++r) {
        QTableWidgetItem* pFirst = pTable->item(r, 0);
        const QString first = pFirst ? pFirst->text() : QString();
        if (pTable->columnSpan(r, 0) == 2) {
            rows << "#" + first;
            continue;
        }
        QTableWidgetItem* pSecond = pTable->item(r, 1);
        rows << first + "=" + (pSecond ? pSecond->text() : QString());
    }
    return rows;
}

const InfoList kFullInfo = {
    {"Product", "KT-T65WHSUR-10P"}, {"Vid", "2FE9"},          {"Pid", "0013"},
    {"Version", "0102"},            {"CheckSum", "1A2B"},     {"BootVersion", "2.1.3"},
    {"BootCheckSum", "77885566"},   {"McuID", "0123456789AB"}, {"BatchInfo", "B2024-11-05"},
};
const InfoList kEnvironment = {
    {"Environment", "Debian GNU/Linux 12"}, {"App Version", "0.0.0.6"},
    {"IPAddr", "192.168.1.20"},             {"MacAddr", "00:11:22:33:44:55"},
};
} // namespace

class TestDeviceInfoPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rowsFollowThePresentNames_data();
    void rowsFollowThePresentNames();
    void cellsCarryTheirStyle();
    void batchOrStruckPlaceholder();
    void environmentTable();
    void unplugBringsTheNoticeBack();
    void qrCodeMatchesTheEncoder_data();
    void qrCodeMatchesTheEncoder();
    void qrCodeOfUnencodableText();

private:
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::unique_ptr<MainWindow> m_pWindow;
};

void TestDeviceInfoPanel::initTestCase()
{
    InitStationResources();
    CCustomerSettings::GetInstance()->clear();
    m_backend = CFakeHidBackend::Install();
    // One window for all cases: every list rebuilds the panel from scratch.
    m_pWindow = std::make_unique<MainWindow>();
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
}

void TestDeviceInfoPanel::cleanupTestCase()
{
    m_pWindow.reset();
    m_backend.reset();
    CFakeHidBackend::Uninstall();
}

void TestDeviceInfoPanel::init()
{
}

void TestDeviceInfoPanel::cleanup()
{
}

void TestDeviceInfoPanel::rowsFollowThePresentNames_data()
{
    QTest::addColumn<InfoList>("info");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("everything") << kFullInfo
                                << QStringList{"#App Information", "McuID=0123456789AB", "Product id=2FE9-0013",
                                               "Version=0102", "CheckSum=1A2B", "#Boot Information",
                                               "BootVersion=2.1.3", "BootCheckSum=77885566"};
    QTest::newRow("empty list") << InfoList() << QStringList();
    QTest::newRow("only names the panel ignores") << InfoList{{"MaxPoint", "10"}} << QStringList{"#App Information"};
    QTest::newRow("vid without pid") << InfoList{{"Vid", "2FE9"}, {"Version", "0102"}}
                                     << QStringList{"#App Information", "Version=0102"};
    QTest::newRow("pid without vid") << InfoList{{"Pid", "0013"}} << QStringList{"#App Information"};
    QTest::newRow("boot only") << InfoList{{"BootVersion", "2.1.3"}}
                               << QStringList{"#App Information", "#Boot Information", "BootVersion=2.1.3"};
    QTest::newRow("boot checksum without boot version")
        << InfoList{{"CheckSum", "1A2B"}, {"BootCheckSum", "77885566"}}
        << QStringList{"#App Information", "CheckSum=1A2B", "BootCheckSum=77885566"};
    QTest::newRow("names are case-sensitive") << InfoList{{"mcuid", "x"}, {"VERSION", "y"}}
                                              << QStringList{"#App Information"};
    QTest::newRow("last pair wins") << InfoList{{"Version", "0101"}, {"McuID", "A"}, {"Version", "0102"}}
                                    << QStringList{"#App Information", "McuID=A", "Version=0102"};
    QTest::newRow("order of the list does not matter")
        << InfoList{{"CheckSum", "1A2B"}, {"Pid", "0013"}, {"McuID", "A"}, {"Vid", "2FE9"}}
        << QStringList{"#App Information", "McuID=A", "Product id=2FE9-0013", "CheckSum=1A2B"};
}

void TestDeviceInfoPanel::rowsFollowThePresentNames()
{
    QFETCH(InfoList, info);
    QFETCH(QStringList, rows);

    m_pWindow->InitDeviceInfoForUI(info, kEnvironment);
    auto* pTable = Child<QTableWidget>(m_pWindow.get(), "HardwareInfoWidget");
    QCOMPARE(Rows(pTable), rows);
    QCOMPARE(pTable->columnCount(), 2);
    QCOMPARE(pTable->columnWidth(0), 120);
    QCOMPARE(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!Child<QLabel>(m_pWindow.get(), "noticeLabel")->isVisible());

    // A second list rebuilds the table from scratch.
    m_pWindow->InitDeviceInfoForUI(InfoList{{"Version", "9"}}, kEnvironment);
    QCOMPARE(Rows(pTable), (QStringList{"#App Information", "Version=9"}));
}

void TestDeviceInfoPanel::cellsCarryTheirStyle()
{
    m_pWindow->InitDeviceInfoForUI(kFullInfo, kEnvironment);
    auto* pTable = Child<QTableWidget>(m_pWindow.get(), "HardwareInfoWidget");

    QTableWidgetItem* pHeading = pTable->item(0, 0);
    QCOMPARE(pHeading->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(pHeading->font().pointSize(), 15);
    QCOMPARE(pHeading->font().weight(), 75);
    QVERIFY(!(pHeading->flags() & Qt::ItemIsEditable));

    QTableWidgetItem* pName = pTable->item(1, 0);
    QTableWidgetItem* pValue = pTable->item(1, 1);
    QCOMPARE(pName->font(), pTable->font());
    QVERIFY(!(pName->flags() & Qt::ItemIsEditable));
    QCOMPARE(pValue->text(), QStringLiteral("0123456789AB"));
    QCOMPARE(pValue->toolTip(), pValue->text());
    QCOMPARE(pValue->foreground().color(), QColor(255, 153, 0));
    QCOMPARE(pValue->font().pointSize(), 15);
    QCOMPARE(pValue->font().weight(), 75);
    QCOMPARE(pValue->textAlignment(), int(Qt::AlignCenter));
    QVERIFY(!(pValue->flags() & Qt::ItemIsEditable));

    auto* pModel = Child<QLabel>(m_pWindow.get(), "modelLabel");
    QVERIFY(pModel->isVisible());
    QCOMPARE(pModel->text(), QStringLiteral("KT-T65WHSUR-10P"));
}

void TestDeviceInfoPanel::batchOrStruckPlaceholder()
{
    MainWindow window; // a fresh one: the product label has never been set
    window.show();
    auto* pSn = Child<QLabel>(&window, "snLabel");
    auto* pQr = Child<QLabel>(&window, "showSNLabel");
    auto* pModel = Child<QLabel>(&window, "modelLabel");
    const QString modelBefore = pModel->text();

    // No batch information: the struck-out placeholder and its QR code; the
    // product label is left as it was.
    window.InitDeviceInfoForUI(InfoList(), kEnvironment);
    QCOMPARE(pSn->text(), kPlaceholder);
    QVERIFY(pSn->font().strikeOut());
    QVERIFY(pSn->isVisible());
    QVERIFY(Child<QWidget>(&window, "snWidget")->isVisible());
    QVERIFY(!pQr->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(pQr->pixmap(Qt::ReturnByValue).toImage(), MainWindow::MakeQRCodePixmap(kPlaceholder, 300, 300).toImage());
    QCOMPARE(pModel->text(), modelBefore);
    QVERIFY(!pModel->isVisible());

    // A batch text: plain font, the text and its code.
    window.InitDeviceInfoForUI(kFullInfo, kEnvironment);
    QCOMPARE(pSn->text(), QStringLiteral("B2024-11-05"));
    QVERIFY(!pSn->font().strikeOut());
    QCOMPARE(pQr->pixmap(Qt::ReturnByValue).size(), QSize(300, 300));
    QCOMPARE(pQr->pixmap(Qt::ReturnByValue).toImage(), MainWindow::MakeQRCodePixmap("B2024-11-05", 300, 300).toImage());
}

void TestDeviceInfoPanel::environmentTable()
{
    auto* pApp = Child<QTableWidget>(m_pWindow.get(), "appInfoWidget");
    m_pWindow->InitDeviceInfoForUI(kFullInfo, kEnvironment);
    QVERIFY(pApp->isVisible());
    QCOMPARE(Rows(pApp), (QStringList{"#Runtimes Information", "Environment=Debian GNU/Linux 12",
                                      "App Version=0.0.0.6", "IPAddr=192.168.1.20", "MacAddr=00:11:22:33:44:55"}));
    QCOMPARE(pApp->item(2, 1)->foreground().color(), QColor(255, 153, 0));

    m_pWindow->InitDeviceInfoForUI(kFullInfo, InfoList());
    QCOMPARE(pApp->rowCount(), 0);
    QVERIFY(pApp->isVisible());
}

void TestDeviceInfoPanel::unplugBringsTheNoticeBack()
{
    m_pWindow->InitDeviceInfoForUI(kFullInfo, kEnvironment);
    m_pWindow->InsertUsbDeviceForMainwindow(false);
    auto* pNotice = Child<QLabel>(m_pWindow.get(), "noticeLabel");
    QVERIFY(pNotice->isVisible());
    QCOMPARE(pNotice->text(), QStringLiteral("There is no device inserted, Please insert device!"));
    for (const char* szHidden : {"snWidget", "snLabel", "modelLabel", "appInfoWidget"})
        QVERIFY2(!Child<QWidget>(m_pWindow.get(), szHidden)->isVisible(), szHidden);
    auto* pTable = Child<QTableWidget>(m_pWindow.get(), "HardwareInfoWidget");
    QCOMPARE(pTable->rowCount(), 1);
    QCOMPARE(pTable->columnCount(), 1);
    QCOMPARE(pTable->columnSpan(0, 0), 1);
}

void TestDeviceInfoPanel::qrCodeMatchesTheEncoder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");

    QTest::newRow("batch") << "B2024-11-05" << 300;
    QTest::newRow("placeholder") << kPlaceholder << 300;
    QTest::newRow("utf-8") << QStringLiteral("批次-2024-11 Ä") << 300;
    QTest::newRow("long text, larger version") << QString(200, QLatin1Char('7')) << 300;
    QTest::newRow("size not a multiple") << "B2024-11-05" << 301;
}

void TestDeviceInfoPanel::qrCodeMatchesTheEncoder()
{
    QFETCH(QString, text);
    QFETCH(int, size);

    const QImage image = MainWindow::MakeQRCodePixmap(text, size, size).toImage();
    QCOMPARE(image.size(), QSize(size, size));

    const QByteArray utf8 = text.toUtf8();
    QRcode* pCode = QRcode_encodeString(utf8.constData(), 2, QR_ECLEVEL_Q, QR_MODE_8, 1);
    QVERIFY(pCode);
    const int n = pCode->width;
    QVERIFY(n >= 25); // version 2 at least
    const double dModule = double(size) / n;
    int nMismatches = 0;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const bool bDark = pCode->data[y * n + x] & 1;
            // The centre of the module, scaled by a real factor.
            const QColor pixel = image.pixelColor(int((x + 0.5) * dModule), int((y + 0.5) * dModule));
            if (bDark != (pixel == Qt::black))
                ++nMismatches;
            if (!bDark && pixel != Qt::white)
                ++nMismatches;
        }
    }
    QRcode_free(pCode);
    QCOMPARE(nMismatches, 0);
}

void TestDeviceInfoPanel::qrCodeOfUnencodableText()
{
    // Beyond the capacity of the largest symbol at level Q.
    QVERIFY(MainWindow::MakeQRCodePixmap(QString(4000, QLatin1Char('x')), 300, 300).isNull());
    QVERIFY(MainWindow::MakeQRCodePixmap(QString(), 300, 300).isNull());

    // Shown as a label without an image, nothing else breaks.
    m_pWindow->InitDeviceInfoForUI(InfoList{{"BatchInfo", QString(4000, QLatin1Char('x'))}}, kEnvironment);
    auto* pQr = Child<QLabel>(m_pWindow.get(), "showSNLabel");
    QVERIFY(pQr->pixmap(Qt::ReturnByValue).isNull());
}

STATION_TEST_MAIN(TestDeviceInfoPanel)
#include "tst_deviceinfopanel.moc"
