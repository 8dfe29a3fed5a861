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
#include <QTimer>

using VeloraTestViewPrivate::Settings;
using VeloraTestViewPrivate::TableItem;

namespace {
constexpr uint32_t kInterfaceFailed = 0x80000001;
// Bits of the hardware record's interface type.
constexpr int32_t kInterfaceSecondUsb = 0x04;
constexpr int32_t kInterfaceSerial = 0x10;
// LED rows of a result set as its table is built, and then a slice at a
// time: a few milliseconds of the GUI thread each.
constexpr int kLedRowsAtOnce = 500;
constexpr int kLedRowsASlice = 1000;

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

    // 13. A final result: filed in the turns that follow (FileResult), so
    // that no turn of the GUI thread builds the whole of a large result.
    if (bRealTime) {
        qInfo().noquote() << "ShowTestResult" << ": " + QLatin1String(bShowPass ? "PASS" : "NG") + QLatin1Char(' ')
                                                     + signalVerdict;
        SFiling filing;
        filing.before = Current();
        filing.nFiling = ++m_nFiling;
        filing.bSignalPass = bSignalPass;
        filing.signalVerdict = signalVerdict;
        filing.bDrawDisabled = bDrawDisabled;
        m_bFilingHeld = true;
        OnNextTurn([this, filing] { FileResult(filing, 0); });
        return true;
    }
    EndResult(bDrawDisabled);
    return true;
}

void VeloraTestView::FileResult(const SFiling& filing, int nStep)
{
    if (filing.nFiling != m_nFiling)
        return; // a later final result is filed in its place
    if (!StillCurrent(filing.before, "ShowTestResult", "filing of the result")) {
        EndFiling();
        return;
    }
    if (nStep == 0) {
        UpdatePanelView();
        UpdateHistogramView();
        OnNextTurn([this, filing] { FileResult(filing, 1); });
        return;
    }
    const QString path = SaveLogDataAuto(filing.bSignalPass);
    // The upload may ask the operator in a box of its own, whose event loop
    // can end this run and start the next one: then nothing of the end
    // belongs to the run that is open now.
    EndFiling();
    const SCurrent before = Current();
    UploadTestData(path, filing.signalVerdict);
    if (!StillCurrent(before, "ShowTestResult", "upload"))
        return;
    EndResult(filing.bDrawDisabled);
}

void VeloraTestView::EndFiling()
{
    m_bFilingHeld = false;
}

void VeloraTestView::EndResult(bool bDrawDisabled)
{
    // 14. The tool buttons of the source, the draw button as step 12 left it.
    SetButtonsEnabled(true);
    UpdateSourceButtons();
    ui->drawButton->setEnabled(!bDrawDisabled);
    m_bTestRunning = false;
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
    m_ledRowsToSet = content.leds;
    m_itNextLedRow = m_ledRowsToSet.cbegin();
    m_nNextLedRow = nRow;
    SetLedRows(kLedRowsAtOnce);

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
    const quint64 nBuild = ++m_nResultBuild;
    if (m_itNextLedRow != m_ledRowsToSet.cend())
        OnNextTurn([this, nBuild] { SetLedRowSlice(nBuild); });
}

void VeloraTestView::OnNextTurn(const std::function<void()>& fn)
{
    // A timer of its own rather than a posted call: the timers due meanwhile
    // run between two turns, as an operator's input does.
    auto* pTimer = new QTimer(this);
    pTimer->setSingleShot(true);
    pTimer->setInterval(0);
    connect(pTimer, &QTimer::timeout, this, [pTimer, fn] {
        pTimer->deleteLater();
        fn();
    });
    pTimer->start();
}

void VeloraTestView::SetLedRows(int nCount)
{
    QTableWidget* pTable = ui->testResult;
    for (; nCount > 0 && m_itNextLedRow != m_ledRowsToSet.cend(); --nCount, ++m_itNextLedRow, ++m_nNextLedRow) {
        QTableWidgetItem* pKey = TableItem(m_itNextLedRow.key());
        pKey->setForeground(QColor(Qt::red));
        pKey->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pKey->setToolTip(CPlainText::ToolTip(m_itNextLedRow.key()));
        QTableWidgetItem* pValue = TableItem(m_itNextLedRow.value());
        pValue->setForeground(QColor(Qt::red));
        pValue->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pValue->setToolTip(CPlainText::ToolTip(m_itNextLedRow.value()));
        pTable->setItem(m_nNextLedRow, 0, pKey);
        pTable->setItem(m_nNextLedRow, 1, pValue);
    }
}

void VeloraTestView::SetLedRowSlice(quint64 nBuild)
{
    // A table built or reset since: its own rows are set.
    if (nBuild != m_nResultBuild)
        return;
    SetLedRows(kLedRowsASlice);
    if (m_itNextLedRow != m_ledRowsToSet.cend()) {
        OnNextTurn([this, nBuild] { SetLedRowSlice(nBuild); });
        return;
    }
    m_ledRowsToSet.clear();
    m_itNextLedRow = m_ledRowsToSet.cbegin();
    // The rows measured again for their texts.
    FitTable(ui->testResult, m_nFirstLedRow);
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
    ++m_nResultBuild; // the LED rows still to come are not this table's
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
