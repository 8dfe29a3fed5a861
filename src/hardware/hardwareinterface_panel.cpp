// HardwareInterface: the frame's geometry (parameter block or LED-count and
// layout queries), the panel layout built from it, and the per-product test
// standard of the parameter table.

#include "hardwareinterface.h"

#include "deviceerror.h"
#include "paramblockassembler.h"
#include "serialframe.h"
#include "teststandard.h"
#include "touchtestinfotable.h"

#include <QDebug>

namespace {

// Largest packet count a frame may announce for its parameter block.
constexpr quint32 kMaxParamPackets = 65535;
// Packets of one transfer window.
constexpr int kWindow = 7;

QString Hex(int32_t n)
{
    return QStringLiteral("0x%1").arg(quint32(n), 8, 16, QLatin1Char('0'));
}

// One AC 81 packet: [3..4] length L (little-endian, as every multi-byte field
// of this command and of the block itself), [5] status, [6..7] index, data
// from [8] (L - 3 bytes), [5 + L] the byte sum of [5 .. 5 + L).
struct SPacket
{
    quint8 nStatus = 0;
    int nIndex = 0;
    const quint8 *pData = nullptr;
    int nSize = 0;
};

bool ParsePacket(const CDeviceReport &reply, SPacket *pPacket)
{
    if (!reply.IsData(Opcode::kParamBlock))
        return false;
    const int L = reply.U16Le(3);
    if (L < 3 || 5 + L >= CDeviceReport::kSize)
        return false;
    if (reply.At(5 + L) != quint8(CalcByteSum(reply.Data() + 5, uint32_t(L))))
        return false;
    pPacket->nStatus = reply.At(5);
    pPacket->nIndex = reply.U16Le(6);
    pPacket->pData = reply.Data() + 8;
    pPacket->nSize = L - 3;
    return true;
}

} // namespace

// ---------------------------------------------------------------- version table

int32_t HardwareInterface::GetBoardSpec(int nVersion, int *pLedsPerBoard, double *pMm1, double *pMm2)
{
    return CPanelGeometry::BoardSpec(nVersion, pLedsPerBoard, pMm1, pMm2) ? 0 : ERROR_CODE_NULL_DEVICE;
}

int32_t HardwareInterface::SplitBoards(int nVersion, int nLedsPerBoard)
{
    if (!CPanelGeometry::BoardSpec(nVersion, nullptr, nullptr, nullptr))
        return ERROR_CODE_NULL_DEVICE;
    QString strError;
    if (!m_panelGeometry.SplitBoards(nLedsPerBoard, &strError)) {
        qCritical().noquote() << "Panel geometry:" << strError;
        return ERROR_CODE_NULL_DEVICE;
    }
    return 0;
}

// ---------------------------------------------------------------- queries

int32_t HardwareInterface::ReadSignalThreshold(int *pValue, double *pRatio)
{
    const CDeviceReport request = CDeviceReport::Request(Opcode::kSignalThreshold, 0);
    return RunCommand(request, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kSignalThreshold)) {
            const int p = r.At(9);
            if (pValue)
                *pValue = r.At(5);
            if (pRatio)
                *pRatio = p <= 0x31 ? (100 - p) / 100.0 : p / 100.0;
            return 0;
        }
        return StandardStatus(r, Opcode::kSignalThreshold);
    });
}

int32_t HardwareInterface::GetSignalThreshold(int *pValue, double *pRatio)
{
    return RunWithRetry(CommandFamily::kGetSignalThreshold, [&] { return ReadSignalThreshold(pValue, pRatio); }, "GetSignalThreshold");
}

int32_t HardwareInterface::ReadLedCounts()
{
    const CDeviceReport request = CDeviceReport::Request(Opcode::kLedCounts, 0);
    return RunCommand(request, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kLedCounts))
            return std::nullopt;
        QString strError;
        if (!m_panelGeometry.ReadLedCounts(r.Data(), &strError)) {
            qCritical().noquote() << "LED counts refused:" << strError;
            return ERROR_CODE_NULL_DEVICE;
        }
        return 0;
    });
}

int32_t HardwareInterface::GetLedCounts()
{
    return RunWithRetry(CommandFamily::kGetLedCounts, [&] { return ReadLedCounts(); }, "GetLedCounts");
}

int32_t HardwareInterface::ReadLayoutParams()
{
    const CDeviceReport request = CDeviceReport::Request(Opcode::kLayoutParams, 0);
    return RunCommand(request, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kLayoutParams)) {
            if (!m_panelGeometry.ReadLayoutParams(r.Data()))
                qInfo() << "Layout values: unknown layout" << r.At(3) << "- ranges kept";
            return 0;
        }
        if (r.IsStatusFor(Opcode::kLayoutParams) && r.Status() == CDeviceReport::kStatusOther)
            return RESULT_STATUS;
        return std::nullopt;
    });
}

int32_t HardwareInterface::GetLayoutParams()
{
    return RunWithRetry(CommandFamily::kGetLayoutParams, [&] { return ReadLayoutParams(); }, "GetLayoutParams");
}

// ---------------------------------------------------------------- parameter block

int32_t HardwareInterface::ReadParamBlock(QByteArray *pBlock, QVector<float> *pTable)
{
    pBlock->clear();
    pTable->clear();

    // First request: [5..10] = 00 00 01 00 00 00 and their byte sum at [11].
    CDeviceReport first = CDeviceReport::Request(Opcode::kParamBlock, 6);
    first.Set(7, 1);
    first.Set(11, quint8(CalcByteSum(first.Data() + 5, 6)));
    int32_t r = SendRequest(first);
    if (r < 0)
        return r;

    // Packet 0 is a header that announces the number of packets; a status
    // reply instead means the frame has no block.
    quint32 nPackets = 0;
    int nSkipped = 0;
    while (nPackets == 0) {
        CDeviceReport reply;
        r = ReadReport(&reply, READ_TIMEOUT_MS);
        if (r < 0)
            return r;
        if (const auto status = StandardStatus(reply, Opcode::kParamBlock)) {
            qInfo().noquote() << QStringLiteral("Parameter block: the frame has none (status 0x%1)")
                                        .arg(reply.Status(), 2, 16, QLatin1Char('0'));
            return *status;
        }
        SPacket packet;
        if (ParsePacket(reply, &packet) && packet.nStatus == 0 && packet.nIndex == 0 && packet.nSize >= 16) {
            const quint32 n = reply.U32Le(20);
            if (n > kMaxParamPackets) {
                qCritical() << "Parameter block: the frame announces" << n << "packets, at most" << kMaxParamPackets;
                return ERROR_CODE_NULL_DEVICE;
            }
            if (n >= 2) {
                nPackets = n;
                break;
            }
        }
        if (++nSkipped > MAX_SKIPPED_REPORTS)
            return ERROR_CODE_TIMEOUT;
    }

    CParamBlockAssembler assembler;
    for (quint32 p = 1; p < nPackets; p += kWindow) {
        // Seven requests back to back (the last window too), then the replies.
        for (int k = 0; k < kWindow; ++k) {
            const quint16 nIndex = quint16(p + quint32(k));
            CDeviceReport request = CDeviceReport::Request(Opcode::kParamBlock, 2);
            request.SetU16Le(5, nIndex);
            request.Set(7, quint8(CalcByteSum(request.Data() + 5, 2)));
            r = SendRequest(request);
            if (r < 0)
                return r;
        }
        int nAccepted = 0;
        nSkipped = 0;
        while (nAccepted < kWindow) {
            if (p + quint32(nAccepted) >= nPackets) {
                qCritical() << "Parameter block: the" << nPackets << "packets ended after" << assembler.Block().size()
                            << "bytes of block, before the LED table was complete";
                return ERROR_CODE_TIMEOUT;
            }
            CDeviceReport reply;
            r = ReadReport(&reply, READ_TIMEOUT_MS);
            if (r < 0)
                return r;
            SPacket packet;
            if (!ParsePacket(reply, &packet) || quint32(packet.nIndex) != p + quint32(nAccepted)) {
                if (++nSkipped > MAX_SKIPPED_REPORTS)
                    return ERROR_CODE_TIMEOUT;
                continue;
            }
            if (packet.nStatus > 1) {
                qWarning() << "Parameter block: packet" << packet.nIndex << "has status" << packet.nStatus;
                return ERROR_CODE_TIMEOUT;
            }
            ++nAccepted;
            switch (assembler.AddData(packet.pData, packet.nSize)) {
            case CParamBlockAssembler::Collecting:
                break;
            case CParamBlockAssembler::Refused:
                qCritical().noquote() << assembler.Error();
                return ERROR_CODE_NULL_DEVICE;
            case CParamBlockAssembler::Complete:
                *pBlock = assembler.Block();
                *pTable = assembler.Table();
                return 0;
            }
        }
    }
    qCritical() << "Parameter block: the" << nPackets << "packets ended before the LED table was complete";
    return ERROR_CODE_TIMEOUT;
}

int32_t HardwareInterface::GetParamBlock(QByteArray *pBlock, QVector<float> *pTable)
{
    return RunWithRetry(CommandFamily::kGetParamBlock, [&] { return ReadParamBlock(pBlock, pTable); }, "GetParamBlock");
}

// ---------------------------------------------------------------- panel

int32_t HardwareInterface::BuildPanelLayout(double dLedSize, double dBoardWidth, double dBottom, double dTop,
                                            double dLeft, double dRight, const QVector<QPointF> &vecPoints)
{
    CPanelLayout layout;
    layout.dLedSize = dLedSize;
    layout.dBoardWidth = dBoardWidth;
    layout.dBottom = dBottom;
    layout.dTop = dTop;
    layout.dLeft = dLeft;
    layout.dRight = dRight;
    layout.vecPoints = vecPoints;
    QString strError;
    if (!layout.Build(m_panelGeometry, &GetHardwareInfo(), &strError)) {
        qCritical().noquote() << "Panel layout:" << strError;
        return ERROR_CODE_NULL_DEVICE;
    }
    return 0;
}

int32_t HardwareInterface::InitPanelFromParamBlock(const QByteArray &block, const QVector<float> &table)
{
    QString strError;
    CPanelGeometry geometry;
    CPanelLayout layout;
    if (!geometry.ReadParamBlock(block, &strError) || !geometry.Check(&strError)
        || !layout.FromLedTable(geometry, table, &strError)) {
        qCritical().noquote() << "Panel from the parameter block refused:" << strError;
        return FamilyCode(CommandFamily::kGetParamBlock, ERROR_CODE_NULL_DEVICE);
    }
    m_panelGeometry = geometry;
    qInfo() << "Panel from the parameter block: X" << geometry.nXTotal << "LEDs, Y" << geometry.nYTotal << "LEDs";
    const int32_t r = BuildPanelLayout(layout.dLedSize, layout.dBoardWidth, layout.dBottom, layout.dTop, layout.dLeft,
                                       layout.dRight, layout.vecPoints);
    return r < 0 ? FamilyCode(CommandFamily::kGetParamBlock, r) : r;
}

int32_t HardwareInterface::InitPanelInfo(int nVersion)
{
    int nLedsPerBoard = 0;
    double dPitch = 0;
    double dMm2 = 0;
    int32_t r = GetBoardSpec(nVersion, &nLedsPerBoard, &dPitch, &dMm2);
    if (r < 0) {
        qCritical().noquote() << "Panel geometry: version" << Hex(nVersion) << "has no parameter block and no built-in board size";
        return r;
    }
    r = GetLedCounts();
    if (r < 0)
        return r;
    r = GetLayoutParams();
    if (r < 0)
        return r;
    r = SplitBoards(nVersion, nLedsPerBoard);
    if (r < 0)
        return FamilyCode(CommandFamily::kGetLedCounts, r);
    QString strError;
    if (!m_panelGeometry.Check(&strError)) {
        qCritical().noquote() << "Panel geometry refused:" << strError;
        return FamilyCode(CommandFamily::kGetLedCounts, ERROR_CODE_NULL_DEVICE);
    }
    qInfo() << "Panel from the LED counts: X" << m_panelGeometry.nXTotal << "LEDs, Y" << m_panelGeometry.nYTotal
            << "LEDs, boards of" << nLedsPerBoard;
    CPanelLayout layout;
    layout.FromBoardSpec(m_panelGeometry, dPitch, dMm2);
    r = BuildPanelLayout(layout.dLedSize, layout.dBoardWidth, layout.dBottom, layout.dTop, layout.dLeft,
                         layout.dRight, layout.vecPoints);
    return r < 0 ? FamilyCode(CommandFamily::kGetLedCounts, r) : r;
}

QString HardwareInterface::LedIndexText(QString strEmitterAxis, QString strReceiverAxis, int i, int j)
{
    return CPanelLayout::LedIndexText(GetHardwareInfo(), strEmitterAxis, strReceiverAxis, i, j);
}

// ---------------------------------------------------------------- test standard

int32_t HardwareInterface::LoadTouchTestInfo(QString strProduct, QString strCheckSum)
{
    const QString strProductKey = CTouchTestInfoTable::ProductKey(strProduct);
    const QString strCheckSumKey = CTouchTestInfoTable::CheckSumKey(strCheckSum);
    const CTouchTestInfoTable::Row row =
        CTouchTestInfoTable::GetInstance(QStringLiteral("TouchTestInfo"))->GetInfo(strProductKey, strCheckSumKey);
    qInfo().noquote() << "Test standard for product" << strProductKey << "checksum" << strCheckSumKey << ":" << row.size()
            << "keys";

    auto toUnsigned = [](const QString &s) { return s.toUInt(); }; // 0 when it does not parse
    auto toSigned = [](const QString &s) { return s.toInt(); };
    for (auto it = row.constBegin(); it != row.constEnd(); ++it) {
        const QString &strKey = it.key();
        const QString &strValue = it.value();
        if (strKey == QLatin1String("Interface")) {
            if (!strValue.isEmpty()) {
                const QChar c = strValue.at(0).toUpper();
                DecodeModelLetter(c.unicode() < 256 ? char(c.unicode()) : char(0));
            }
        } else if (strKey == QLatin1String("SupportRealTimeTest")) {
            SupportRealTimeTest = toUnsigned(strValue) != 0;
        } else if (strKey == QLatin1String("MaxTolerantWeakSignalTotal")) {
            MaxTolerantWeakSignalTotal = toUnsigned(strValue);
        } else if (strKey == QLatin1String("MaxTolerantWeakSignalEachLed")) {
            MaxTolerantWeakSignalEachLed = toUnsigned(strValue);
        } else if (strKey == QLatin1String("eInitAgcWhileRetest")) {
            eInitAgcWhileRetest = toSigned(strValue);
        } else if (strKey == QLatin1String("bCheckLedError")) {
            SetCheckLedError(toSigned(strValue) != 0);
        } else if (strKey == QLatin1String("bEnableTestUart")) {
            bEnableTestUart = toSigned(strValue);
        } else if (strKey == QLatin1String("bEnableTestDoubleUsb")) {
            bEnableTestDoubleUsb = toSigned(strValue);
        } else {
            CTestStandard::ApplyLimitKey(GetAxisSignalMap(), strKey, strValue);
        }
    }
    return 0;
}
