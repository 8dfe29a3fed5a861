// VeloraTestView: the result table and the interface tests' table.
#include "veloratestview.h"
#include "ui_veloratestview.h"

#include "customersettings.h"
#include "deviceinfokey.h"
#include "firmwarechecksettings.h"
#include "handlework.h"
#include "plaintext.h"
#include "snchecksumsettings.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "touchlogfile.h"
#include "veloratestview_p.h"

#include <QDebug>
#include <QHeaderView>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTableWidget>

using VeloraTestViewPrivate::Settings;
using VeloraTestViewPrivate::TableItem;

namespace {
constexpr uint32_t kInterfaceFailed = 0x80000001;
// Bits of the hardware record's interface type.
constexpr int32_t kInterfaceSecondUsb = 0x04;
constexpr int32_t kInterfaceSerial = 0x10;

// The code and message of a failing "Signal Test" (left as they are when
// the test core names no fault): a replay's as its run gave them, however far
// it has stepped since; a live frame's from its current readings. The caller
// holds the device mutex.
void SignalVerdictOf(CTouchBase* pDevice, QString& strCode, QString& strMessage)
{
    if (auto* pReplay = dynamic_cast<CTouchLogfile*>(pDevice)) {
        QString strKeptCode;
        QString strKeptMessage;
        if (pReplay->GetRunVerdict(strKeptCode, strKeptMessage)) {
            if (!strKeptCode.isEmpty()) {
                strCode = strKeptCode;
                strMessage = strKeptMessage;
            }
            return;
        }
    }
    pDevice->GetTestResultCode(strCode, strMessage);
}
} // namespace

// ---------------------------------------------------------------------------
// The result table

bool VeloraTestView::ShowTestResult(QMap<QString, QString> mapTestResult, bool bRealTime)
{
    // The answer to "ReTest" (a new run of the frame, filed) or to
    // "UpdateTestResult" (the table again).
    if (!IsAnswerOfOpenRun("ShowTestResult", {bRealTime ? QStringLiteral("ReTest") : QStringLiteral("UpdateTestResult")}))
        return false;
    return ShowResultNow(mapTestResult, bRealTime);
}

bool VeloraTestView::ShowResultNow(const QMap<QString, QString>& mapTestResult, bool bRealTime)
{
    // 1.
    if (!isVisible())
        return false;
    // A final result: its table, diagram, histograms and log from one frame.
    if (bRealTime)
        HoldRefreshForThisTurn();
    SDeviceFacts facts;
    {
        QMutexLocker lock(DeviceMutex());
        facts = ReadDeviceFacts(Device(), mapTestResult);
    }
    return ShowTestResultOf(mapTestResult, bRealTime, facts);
}

VeloraTestView::SDeviceFacts VeloraTestView::ReadDeviceFacts(CTouchBase* pDevice,
                                                             const QMap<QString, QString>& mapTestResult) const
{
    SDeviceFacts facts;
    if (!pDevice)
        return facts;
    facts.bPresent = true;
    facts.nGeneration = m_pHandleWork ? m_pHandleWork->GetDeviceGeneration() : 0;
    facts.signal = qMakePair(QStringLiteral("PASS"), QStringLiteral("PASS"));
    if (!mapTestResult.isEmpty()) {
        facts.signal = qMakePair(QStringLiteral("NG"), QStringLiteral("NG"));
        SignalVerdictOf(pDevice, facts.signal.first, facts.signal.second);
    }
    facts.bLive = dynamic_cast<CTouchHardware*>(pDevice) != nullptr;
    if (facts.bLive) {
        facts.batch = pDevice->GetProperty(DeviceInfoKey::kBatchInfo);
        facts.checksum = pDevice->GetProperty(DeviceInfoKey::kCheckSum);
        facts.product = pDevice->GetProperty(DeviceInfoKey::kProduct);
    }
    facts.nType = pDevice->GetType();
    if (facts.nType == 2) {
        facts.interfaceResult = pDevice->GetInterfaceTestResult();
        facts.replayName = pDevice->GetName();
    }
    return facts;
}

bool VeloraTestView::ShowTestResultOf(const QMap<QString, QString>& mapTestResult, bool bRealTime,
                                      const SDeviceFacts& facts)
{
    QTableWidget* pTable = ui->testResult;

    SResultContent content;
    content.leds = mapTestResult;
    content.dFontScale = m_dFontScale;
    bool bSignalPass = true;
    const bool bLive = facts.bLive;
    QString signalVerdict;
    {
        // 3.
        if (!facts.bPresent || !m_bSourcePresent.load()) {
            ResetTable(pTable, tr("Unknown..."));
            return false;
        }
        m_strShownReplay = facts.nType == 2 ? facts.replayName : QString();
        UpdateSourceMark();
        // 4.
        QPair<QString, QString> signal = facts.signal;
        if (!mapTestResult.isEmpty()) {
            bSignalPass = false;
            if (!signal.second.isEmpty())
                signal.second += tr(" And you can check the detail problem in the Touch Frame page!");
        }
        content.rows.insert(QStringLiteral("Signal Test"), signal);
        signalVerdict = signal.first;
        content.bOverallPass = bSignalPass;
        auto check = [&content](const QString& row, bool bPass, const QString& detail) {
            content.rows.insert(row, bPass ? qMakePair(QStringLiteral("PASS"), QStringLiteral("PASS"))
                                           : qMakePair(QStringLiteral("NG"), detail));
            if (!bPass)
                content.bOverallPass = false;
        };

        // 5. to 7., a plugged frame only.
        if (bLive) {
            CCustomerSettings* pSettings = Settings();
            const QString& batch = facts.batch;
            const QString& checksum = facts.checksum;
            // Nothing scanned (a cancelled prompt) proves nothing, also
            // against a frame that reports no batch information.
            if (pSettings->GetBool(QStringLiteral("SupportSNCheck"), true))
                check(QStringLiteral("SN Check"), !m_strScannedSN.isEmpty() && batch == m_strScannedSN,
                      tr("The correct serial number is %1.").arg(m_strScannedSN));
            if (pSettings->GetBool(QStringLiteral("FirmwareCheckEnable"), false)) {
                const QMap<QString, QString> list = CFirmwareCheckSettings::GetInstance()->ReadAll();
                QString product = facts.product;
                static const QRegularExpression kSize(QStringLiteral("-[0-9]+P"));
                product.remove(kSize);
                const QString expected = list.value(product);
                check(QStringLiteral("Firmware Check"), expected == checksum,
                      tr("The correct checksum is %1.").arg(expected));
            }
            if (pSettings->GetBool(QStringLiteral("SNChecksumCheckEnable"), false)) {
                const QMap<QString, QString> list = CSNChecksumSettings::GetInstance()->ReadAll();
                const int nDollar = batch.indexOf(QLatin1Char('$'));
                const QString key = nDollar >= 0 ? batch.left(nDollar) : batch.left(13);
                const QString expected = list.value(key);
                check(QStringLiteral("Batch Check"), expected == checksum,
                      tr("The correct checksum is %1.").arg(expected));
            }
        }

        // 8. The interface result a replayed log holds: the codes are the
        // shown log's own, passed where it holds no row of its own.
        if (facts.nType == 2) {
            m_nComTestResult = 0;
            m_nDUsbTestResult = 0;
            const QPair<QString, QString>& stored = facts.interfaceResult;
            if (!stored.first.isEmpty()) {
                content.rows.insert(stored.first, qMakePair(stored.second, stored.second));
                const uint32_t nCode = stored.second == QLatin1String("PASS") ? 0 : kInterfaceFailed;
                if (stored.first == QLatin1String("Com Test"))
                    m_nComTestResult = nCode;
                else if (stored.first == QLatin1String("D-Usb Test"))
                    m_nDUsbTestResult = nCode;
            }
        }
    }
    const bool bShowPass =
        content.bOverallPass && mapTestResult.isEmpty() && m_nComTestResult == 0 && m_nDUsbTestResult == 0;

    // 2., 9. to 11.: only a result that differs from the one shown is built.
    SResultContent shown = content;
    shown.bOverallPass = bShowPass;
    if (!m_bResultShown || !(shown == m_shownResult)) {
        BuildResultTable(shown);
        m_shownResult = shown;
        m_bResultShown = true;
    } else {
        FitTable(pTable, m_nFirstLedRow);
    }

    // 12. The draw test.
    bool bDrawDisabled = false;
    if (!content.bOverallPass) {
        bDrawDisabled = Settings()->GetBool(QStringLiteral("DisableDrawWhenFail"), true);
    } else if (m_nPassCount == 0 || m_nPassCount == 1) {
        ++m_nPassCount;
        if (m_nPassCount == 1 && bLive && Settings()->GetBool(QStringLiteral("DefaultJumpToDraw"), true))
            on_drawButton_clicked();
    }

    // 13. A final result. The upload may ask the operator in a box of its
    // own, whose event loop can end this run and start the next one: then
    // nothing of step 14 belongs to the run that is open now.
    if (bRealTime) {
        qInfo().noquote() << "ShowTestResult" << ": " + QLatin1String(bShowPass ? "PASS" : "NG") + QLatin1Char(' ')
                                                     + signalVerdict;
        const SCurrent before = Current();
        UpdatePanelView();
        UpdateHistogramView();
        const QString path = SaveLogDataAuto(bSignalPass);
        UploadTestData(path, signalVerdict);
        if (!StillCurrent(before, "ShowTestResult", "upload"))
            return true;
    }

    // 14. The tool buttons of the source, the draw button as step 12 left it.
    SetButtonsEnabled(true);
    UpdateSourceButtons();
    ui->drawButton->setEnabled(!bDrawDisabled);
    m_bTestRunning = false;
    return true;
}

void VeloraTestView::BuildResultTable(const SResultContent& content)
{
    QTableWidget* pTable = ui->testResult;
    pTable->setUpdatesEnabled(false);
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(0);
    pTable->setColumnCount(2);
    pTable->setColumnWidth(0, pTable->width() / 3);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);

    const double dDefault = QTableWidgetItem().font().pointSizeF();
    auto sized = [&](double dFactor, bool bItalic) {
        QFont font = QTableWidgetItem().font();
        font.setPointSizeF(dFactor * dDefault * m_dFontScale);
        font.setBold(true);
        font.setItalic(bItalic);
        return font;
    };
    const QFont nameFont = sized(1.5, false);
    const QFont verdictFont = sized(4.0, false);
    auto colour = [](const QString& verdict) {
        return verdict == QLatin1String("PASS") ? QColor(Qt::darkGreen) : QColor(Qt::red);
    };

    // Row 0 is the overall line, then the checks, then the LEDs.
    pTable->setRowCount(1 + content.rows.size() + content.leds.size());
    int nRow = 1;
    for (auto it = content.rows.cbegin(); it != content.rows.cend(); ++it, ++nRow) {
        const QColor rowColour = colour(it.value().first);
        QTableWidgetItem* pName = TableItem(it.key());
        pName->setFont(nameFont);
        pName->setTextAlignment(Qt::AlignCenter);
        pName->setForeground(rowColour);
        pName->setToolTip(CPlainText::ToolTip(it.key()));
        QTableWidgetItem* pVerdict = TableItem(it.value().first);
        pVerdict->setFont(verdictFont);
        pVerdict->setTextAlignment(Qt::AlignCenter);
        pVerdict->setForeground(rowColour);
        pVerdict->setToolTip(CPlainText::ToolTip(it.value().second));
        pTable->setItem(nRow, 0, pName);
        pTable->setItem(nRow, 1, pVerdict);
    }
    for (auto it = content.leds.cbegin(); it != content.leds.cend(); ++it, ++nRow) {
        QTableWidgetItem* pKey = TableItem(it.key());
        pKey->setForeground(QColor(Qt::red));
        pKey->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pKey->setToolTip(CPlainText::ToolTip(it.key()));
        QTableWidgetItem* pValue = TableItem(it.value());
        pValue->setForeground(QColor(Qt::red));
        pValue->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pValue->setToolTip(CPlainText::ToolTip(it.value()));
        pTable->setItem(nRow, 0, pKey);
        pTable->setItem(nRow, 1, pValue);
    }

    const QString overall = content.bOverallPass ? QStringLiteral("PASS") : QStringLiteral("NG");
    QTableWidgetItem* pOverall = TableItem(overall);
    QFont overallFont = QTableWidgetItem().font();
    overallFont.setPointSize(int(6.0 * dDefault * m_dFontScale));
    overallFont.setBold(true);
    overallFont.setItalic(true);
    pOverall->setFont(overallFont);
    pOverall->setTextAlignment(Qt::AlignCenter);
    pOverall->setForeground(colour(overall));
    pOverall->setToolTip(CPlainText::ToolTip(overall));
    pTable->setItem(0, 0, pOverall);
    pTable->setSpan(0, 0, 1, 2);
    // The rows sized to their texts, the LED rows stretched below the checks.
    m_nFirstLedRow = 1 + content.rows.size();
    FitTable(pTable, m_nFirstLedRow);
    pTable->setUpdatesEnabled(true);
}

// ---------------------------------------------------------------------------
// Interface tests (not wired)

bool VeloraTestView::CheckInterfaceTests()
{
    if (!m_pHandleWork)
        return false;
    bool bSerial = false;
    bool bSecondUsb = false;
    QPair<QString, QString> stored;
    {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        const int32_t nInterfaces = pDevice->GetHardwareInfo().GetInterfaceType();
        bSerial = pDevice->GetEnableTestUart() && Settings()->GetBool(QStringLiteral("ComTestEn"), true)
                  && (nInterfaces & kInterfaceSerial);
        bSecondUsb = pDevice->GetEnableTestDoubleUsb() && Settings()->GetBool(QStringLiteral("D-UsbTestEn"), true)
                     && (nInterfaces & kInterfaceSecondUsb);
        stored = pDevice->GetInterfaceTestResult();
    }
    // An interface under test passes when the device object's interface
    // result names it with "PASS".
    auto judge = [&stored](bool bTested, const char* szName) -> uint32_t {
        if (!bTested)
            return 0;
        return stored.first == QLatin1String(szName) && stored.second == QLatin1String("PASS") ? 0 : kInterfaceFailed;
    };
    if (bSerial)
        Post(QStringLiteral("ComTestEn"));
    m_nComTestResult = judge(bSerial, "Com Test");
    if (bSecondUsb)
        Post(QStringLiteral("D-UsbTestEn"));
    m_nDUsbTestResult = judge(bSecondUsb, "D-Usb Test");
    return true;
}

bool VeloraTestView::ShowInterfaceTestResult(QMap<QString, QString> mapTestResult)
{
    if (!m_pHandleWork)
        return false;
    QString strCode;
    QString strMessage;
    bool bSerial = false;
    bool bSecondUsb = false;
    bool bLive = false;
    {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        SignalVerdictOf(pDevice, strCode, strMessage);
        const int32_t nInterfaces = pDevice->GetHardwareInfo().GetInterfaceType();
        bSecondUsb = pDevice->GetEnableTestDoubleUsb() && Settings()->GetBool(QStringLiteral("D-UsbTestEn"), true)
                     && (nInterfaces & kInterfaceSecondUsb);
        bSerial = pDevice->GetEnableTestUart() && Settings()->GetBool(QStringLiteral("ComTestEn"), true)
                  && (nInterfaces & kInterfaceSerial);
        bLive = dynamic_cast<CTouchHardware*>(pDevice) != nullptr;
    }

    struct SRow
    {
        QString name;
        bool bPass;
        QString verdict;
    };
    QList<SRow> rows;
    const bool bSignalPass = mapTestResult.isEmpty() && strCode.isEmpty();
    rows << SRow{QStringLiteral("Signal Test"), bSignalPass,
                 bSignalPass ? QStringLiteral("PASS") : strCode.isEmpty() ? QStringLiteral("NG") : strCode};
    if (bSecondUsb)
        rows << SRow{QStringLiteral("D-Usb Test"), m_nDUsbTestResult == 0,
                     m_nDUsbTestResult == 0 ? QStringLiteral("PASS") : QStringLiteral("NG")};
    if (bSerial)
        rows << SRow{QStringLiteral("Com Test"), m_nComTestResult == 0,
                     m_nComTestResult == 0 ? QStringLiteral("PASS") : QStringLiteral("NG")};

    QTableWidget* pTable = ui->testResult;
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(0);
    pTable->setColumnCount(2);
    pTable->setColumnWidth(0, pTable->width() / 3);
    auto scaled = [this](QFont font, double dFactor) {
        font.setPointSizeF(font.pointSizeF() * dFactor * m_dFontScale);
        font.setWeight(QFont::Bold);
        return font;
    };
    auto colour = [](bool bPass) { return bPass ? QColor(Qt::darkGreen) : QColor(Qt::red); };
    bool bAllPass = true;
    for (const SRow& row : qAsConst(rows)) {
        bAllPass = bAllPass && row.bPass;
        const int nRow = pTable->rowCount();
        pTable->insertRow(nRow);
        QTableWidgetItem* pName = TableItem(row.name);
        pName->setTextAlignment(Qt::AlignCenter);
        pName->setFont(scaled(pName->font(), 1.5));
        pName->setForeground(colour(row.bPass));
        pName->setToolTip(CPlainText::ToolTip(row.name));
        QTableWidgetItem* pVerdict = TableItem(row.verdict);
        pVerdict->setTextAlignment(Qt::AlignCenter);
        pVerdict->setFont(scaled(pVerdict->font(), 4));
        pVerdict->setForeground(Qt::white);
        pVerdict->setBackground(colour(row.bPass));
        pTable->setItem(nRow, 0, pName);
        pTable->setItem(nRow, 1, pVerdict);
    }
    const int nLast = pTable->rowCount();
    pTable->insertRow(nLast);
    QTableWidgetItem* pOverall = TableItem(bAllPass ? QStringLiteral("PASS") : QStringLiteral("NG"));
    pOverall->setTextAlignment(Qt::AlignCenter);
    pOverall->setFont(scaled(pOverall->font(), 4));
    pOverall->setForeground(Qt::white);
    pOverall->setBackground(colour(bAllPass));
    pTable->setItem(nLast, 0, pOverall);
    pTable->setSpan(nLast, 0, 1, 2);
    m_nFirstLedRow = pTable->rowCount(); // no LED rows here

    SetButtonsEnabled(true);
    if (bAllPass && bLive && Settings()->GetBool(QStringLiteral("DefaultJumpToDraw"), true))
        on_drawButton_clicked();
    return true;
}
