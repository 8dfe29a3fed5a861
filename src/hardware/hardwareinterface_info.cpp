// Device information queries of HardwareInterface: product, ids, versions,
// checksums, MCU id, batch information, maximum touch points, and the decoding
// of the product model.
#include "hardwareinterface.h"

#include "comport.h"
#include "comportuart.h"
#include "deviceerror.h"
#include "deviceinfokey.h"
#include "serialframe.h"
#include "stationclock.h"

#include <QDebug>
#include <QRegularExpression>

namespace {
// "0x" and upper-case hexadecimal digits.
QString Hex4(uint32_t nValue)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(nValue & 0xFFFFu, 4, 16, QLatin1Char('0')).toUpper();
}

QString Hex8(uint32_t nValue)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(nValue, 8, 16, QLatin1Char('0')).toUpper();
}

QString Hex2(uint32_t nValue)
{
    return QStringLiteral("%1").arg(nValue & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
}

// Bytes [nFrom, nEnd) of a report as 8-bit text, ending early at a 0 byte.
QString ReportText(const CDeviceReport &r, int nFrom, int nEnd)
{
    QByteArray bytes;
    for (int i = nFrom; i < nEnd && i < CDeviceReport::kSize; ++i) {
        if (r.At(i) == 0)
            break;
        bytes.append(char(r.At(i)));
    }
    return QString::fromLatin1(bytes);
}
} // namespace

// ---------------------------------------------------------------- product

int32_t HardwareInterface::ReadProduct()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kProduct, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kProduct))
            return std::nullopt;
        m_lstProperty.append(CPropertyItem(DeviceInfoKey::kProduct, ReportText(r, 5, 5 + r.At(3))));
        return 0;
    });
}

int32_t HardwareInterface::GetProduct()
{
    return RunWithRetry(CommandFamily::kGetProduct, [&] { return ReadProduct(); }, "GetProduct");
}

// ---------------------------------------------------------------- versions and checksums

int32_t HardwareInterface::ReadFirmwareInfo(QList<CPropertyItem> &lstInfo)
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kFirmwareInfo, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [&lstInfo](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kFirmwareInfo))
            return StandardStatus(r, Opcode::kFirmwareInfo);
        const uint16_t nBoot1 = r.U16Le(11), nBoot2 = r.U16Le(28);
        const uint32_t nBootSum1 = r.U32Le(14), nBootSum2 = r.U32Le(31);
        const QString strBootVersion = nBoot1 != nBoot2
            ? Hex4(nBoot1) + Hex2(r.At(13)) + QLatin1Char('-') + Hex4(nBoot2) + Hex2(r.At(30))
            : Hex4(nBoot1) + Hex2(r.At(13));
        const QString strBootSum = nBootSum1 != nBootSum2 ? Hex8(nBootSum1) + QLatin1Char('-') + Hex8(nBootSum2)
                                                           : Hex8(nBootSum1);
        lstInfo.append(CPropertyItem(DeviceInfoKey::kVid, Hex4(r.U16Le(18))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kPid, Hex4(r.U16Le(20))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kVersion,
                                     Hex4(r.U16Le(9)) + QLatin1Char('-') + Hex4(r.U16Le(26))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kCheckSum,
                                     Hex4(r.U16Le(5)) + QLatin1Char('-') + Hex4(r.U16Le(22))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kBootVersion, strBootVersion));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kBootCheckSum, strBootSum));
        return 0;
    });
}

int32_t HardwareInterface::GetFirmwareInfo(QList<CPropertyItem> &lstInfo)
{
    return RunWithRetry(CommandFamily::kGetFirmwareInfo, [&] { return ReadFirmwareInfo(lstInfo); }, "GetFirmwareInfo");
}

int32_t HardwareInterface::ReadAppInfo(QList<CPropertyItem> &lstInfo)
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kAppInfo, 0);
    return RunCommand(q, APP_INFO_TIMEOUT_MS, [&lstInfo](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kAppInfo))
            return StandardStatus(r, Opcode::kAppInfo);
        lstInfo.append(CPropertyItem(DeviceInfoKey::kVid, Hex4(r.U16Le(18))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kPid, Hex4(r.U16Le(20))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kVersion, Hex4(r.U16Le(22))));
        lstInfo.append(CPropertyItem(DeviceInfoKey::kCheckSum, Hex4(r.U16Le(8))));
        return 0;
    });
}

int32_t HardwareInterface::GetAppInfo(QList<CPropertyItem> &lstInfo)
{
    return RunWithRetry(CommandFamily::kGetAppInfo, [&] { return ReadAppInfo(lstInfo); }, "GetAppInfo");
}

int32_t HardwareInterface::GetVersionInfo(QList<CPropertyItem> &lstInfo)
{
    if (IsKnownVersion(PortVersion()))
        return GetAppInfo(lstInfo);
    return GetFirmwareInfo(lstInfo);
}

// ---------------------------------------------------------------- MCU id

void HardwareInterface::AppendMcuIdText(const CDeviceReport &reply, QString *pText) const
{
    const int n = qMin(int(reply.At(3)), 59);
    for (int i = 0; i < n; ++i)
        pText->append(Hex2(reply.At(5 + i)));
}

int32_t HardwareInterface::ReadMcuIDOnce(QString *pText)
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kMcuID, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this, pText](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kMcuID))
            return std::nullopt;
        pText->clear();
        AppendMcuIdText(r, pText);
        return 0;
    });
}

int32_t HardwareInterface::ReadMcuID()
{
    QString strId;
    const int32_t r = ReadMcuIDOnce(&strId);
    if (r == 0)
        m_lstProperty.append(CPropertyItem(DeviceInfoKey::kMcuID, strId));
    return r;
}

int32_t HardwareInterface::GetMcuID()
{
    return RunWithRetry(CommandFamily::kGetMcuID, [&] { return ReadMcuID(); }, "GetMcuID");
}

int32_t HardwareInterface::QueryMcuID(QString *pText)
{
    return RunWithRetry(CommandFamily::kGetMcuID, [&] { return ReadMcuIDOnce(pText); }, "QueryMcuID");
}

int32_t HardwareInterface::ReadMcuIDReply(CComPort *pPort, int nDev, QString *pText)
{
    CDeviceReport reply;
    for (int nSkipped = 0; nSkipped < MAX_SKIPPED_REPORTS; ++nSkipped) {
        reply.Clear();
        int32_t r = pPort->RecvData(reply.Data(), CDeviceReport::kSize, CStationClock::Timeout(READ_TIMEOUT_MS),
                                    nDev);
        if (r == 0)
            r = ERROR_CODE_TIMEOUT;
        if (r < 0)
            return r;
        if (reply.IsData(Opcode::kMcuID)) {
            if (pText)
                AppendMcuIdText(reply, pText);
            return 0;
        }
    }
    return ERROR_CODE_TIMEOUT;
}

int32_t HardwareInterface::ReadMcuIDText(CComPort *pPort, QString *pText)
{
    if (!pPort)
        return ERROR_CODE_NULL_DEVICE;
    const CDeviceReport q = CDeviceReport::Request(Opcode::kMcuID, 0);
    const int32_t r = pPort->SendData(q.Data(), CDeviceReport::kSize, CStationClock::Timeout(SEND_TIMEOUT_MS), 1);
    if (r < 0)
        return r;
    return ReadMcuIDReply(pPort, 1, pText);
}

int32_t HardwareInterface::ReadMcuIDTextUpgrade(CComPort *pPort, QString *pText)
{
    if (!pPort)
        return ERROR_CODE_NULL_DEVICE;
    // The framed send with a chosen head exists only on the serial port.
    CComPortUart *pUart = qobject_cast<CComPortUart *>(pPort);
    if (!pUart) {
        qWarning() << "ReadMcuIDTextUpgrade: the port is not a serial port";
        return ERROR_CODE_NULL_DEVICE;
    }
    const CDeviceReport q = CDeviceReport::Request(Opcode::kMcuID, 0);
    const int32_t r = pUart->SendFrame(q.Data(), CDeviceReport::kSize, CStationClock::Timeout(SEND_TIMEOUT_MS), 0,
                                       PACKET_HEAD_1FF7);
    if (r < 0)
        return r;
    return ReadMcuIDReply(pPort, 0, pText);
}

int32_t HardwareInterface::CompareMcuID(CComPort *pPort)
{
    if (!pPort)
        return ERROR_CODE_NULL_DEVICE;
    QString strId;
    const int32_t r = ReadMcuIDText(pPort, &strId);
    if (r < 0)
        return r;
    return strId == GetProperty(DeviceInfoKey::kMcuID) ? 0 : 1;
}

int32_t HardwareInterface::CompareMcuIDUpgrade(CComPort *pPort)
{
    if (!pPort)
        return ERROR_CODE_NULL_DEVICE;
    QString strId;
    const int32_t r = ReadMcuIDTextUpgrade(pPort, &strId);
    if (r < 0)
        return r;
    return strId == GetProperty(DeviceInfoKey::kMcuID) ? 0 : 1;
}

// ---------------------------------------------------------------- batch information

namespace {
// The text of an A9 85 reply; nothing for an erased (all 0xFF) or empty field.
std::optional<QString> BatchText(const CDeviceReport &r)
{
    const int nLen = r.At(3);
    bool bErased = true;
    for (int i = 5; i < qMin(nLen + 5, CDeviceReport::kSize); ++i)
        if (r.At(i) != 0xFF) {
            bErased = false;
            break;
        }
    if (nLen == 0 || bErased)
        return std::nullopt;
    return ReportText(r, 5, qMin(nLen + 5, 63));
}
} // namespace

int32_t HardwareInterface::ReadBatchInfo()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kBatchInfoRead, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kBatchInfoRead))
            return StandardStatus(r, Opcode::kBatchInfoRead);
        const std::optional<QString> text = BatchText(r);
        if (!text)
            return 0;  // an erased batch field: nothing to show
        ForgetBatchInfo();
        m_lstProperty.append(CPropertyItem(DeviceInfoKey::kBatchInfo, *text));
        return 0;
    });
}

void HardwareInterface::ForgetBatchInfo()
{
    for (int i = m_lstProperty.size() - 1; i >= 0; --i)
        if (m_lstProperty.at(i).first == DeviceInfoKey::kBatchInfo)
            m_lstProperty.removeAt(i);
}

int32_t HardwareInterface::ReadBackBatchInfo(QString *pText)
{
    pText->clear();
    QString strText;
    const CDeviceReport q = CDeviceReport::Request(Opcode::kBatchInfoRead, 0);
    const int32_t nRet = RunWithRetry(
        CommandFamily::kGetBatchInfo,
        [&] {
            strText.clear();
            return RunCommand(q, READ_TIMEOUT_MS, [&strText](const CDeviceReport &r) -> std::optional<int32_t> {
                // A status, even "done", tells nothing of the field.
                if (!r.IsData(Opcode::kBatchInfoRead)) {
                    const std::optional<int32_t> status = StandardStatus(r, Opcode::kBatchInfoRead);
                    return status && *status == 0 ? RESULT_STATUS : status;
                }
                strText = BatchText(r).value_or(QString());
                return 0;
            });
        },
        "ReadBackBatchInfo");
    if (nRet == 0)
        *pText = strText;
    return nRet;
}

int32_t HardwareInterface::GetBatchInfo()
{
    return RunWithRetry(CommandFamily::kGetBatchInfo, [&] { return ReadBatchInfo(); }, "GetBatchInfo");
}

int HardwareInterface::FirstUnheldBatchChar(const QString &strText)
{
    for (int i = 0; i < strText.size(); ++i) {
        const ushort nCode = strText.at(i).unicode();
        if (i >= kBatchInfoChars || nCode == 0 || nCode > 255)
            return i;
    }
    return -1;
}

int32_t HardwareInterface::WriteBatchInfo()
{
    const QString strText = GetProperty(DeviceInfoKey::kBatchInfo).left(kBatchInfoChars);
    CDeviceReport q = CDeviceReport::Request(Opcode::kBatchInfoWrite, uint8_t(strText.size() + 1));
    for (int i = 0; i < strText.size(); ++i) {
        const ushort nCode = strText.at(i).unicode();
        q.Set(5 + i, nCode < 256 ? uint8_t(nCode) : 0);
    }
    q.Set(5 + strText.size(), 0);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kBatchInfoWrite); });
}

int32_t HardwareInterface::SaveBatchInfo()
{
    return RunWithRetry(CommandFamily::kSaveBatchInfo, [&] { return WriteBatchInfo(); }, "SaveBatchInfo");
}

// ---------------------------------------------------------------- maximum touch points

int32_t HardwareInterface::ReadMaxPoint()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kMaxPoint, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsDataSub(Opcode::kMaxPoint.nCmd, Opcode::kMaxPointReplySub) || r.At(3) != 0x01)
            return std::nullopt;
        m_lstProperty.append(CPropertyItem(DeviceInfoKey::kMaxPoint, QString::number(r.At(5))));
        return 0;
    });
}

int32_t HardwareInterface::GetMaxPoint()
{
    return RunWithRetry(CommandFamily::kGetMaxPoint, [&] { return ReadMaxPoint(); }, "GetMaxPoint");
}

// ---------------------------------------------------------------- the whole list

int32_t HardwareInterface::InitDeviceInfo()
{
    m_lstPrevProperty = m_lstProperty;
    m_lstProperty.clear();
    int32_t r = GetBatchInfo();
    if (r < 0)
        return r;
    r = GetMcuID();
    if (r < 0)
        return r;
    r = GetProduct();
    if (r < 0)
        return r;
    r = GetVersionInfo(m_lstProperty);
    if (r < 0)
        return r;
    r = GetMaxPoint();
    if (r < 0)
        return r;
    return GetTouchFormat();
}

bool HardwareInterface::ReInitDeviceInfo()
{
    if (m_lstProperty.isEmpty())
        return false;
    if (InitDeviceInfo() != 0)
        return false;
    auto firstValue = [](const QList<CPropertyItem> &lst, bool *pFound) {
        for (const CPropertyItem &item : lst)
            if (item.first == DeviceInfoKey::kCheckSum) {
                *pFound = true;
                return item.second;
            }
        *pFound = false;
        return QString();
    };
    bool bNew = false, bOld = false;
    const QString strNew = firstValue(m_lstProperty, &bNew);
    const QString strOld = firstValue(m_lstPrevProperty, &bOld);
    return bNew && bOld && !strNew.isEmpty() && strNew == strOld;
}

// ---------------------------------------------------------------- product model

int32_t HardwareInterface::DecodeModelLetter(char cLetter)
{
    struct Row
    {
        char letter;
        int32_t dir;
        int32_t type;
    };
    static const Row rows[] = {{'A', 1, 5}, {'B', 1, 1}, {'C', 1, 3}, {'D', 0, 5},
                               {'E', 0, 1}, {'F', 0, 3}, {'G', 0, 7}, {'H', 1, 7}};
    for (const Row &row : rows) {
        if (row.letter == cLetter) {
            m_hardwareInfo.SetInterfaceDir(row.dir);
            m_hardwareInfo.SetInterfaceType(row.type);
            return row.type;
        }
    }
    return 1;
}

int32_t HardwareInterface::ParseProductModel(QString strProduct)
{
    static const QRegularExpression reModel(QStringLiteral("[A-Z]+[1-9][0-9]+[A-Z]+"));
    static const QRegularExpression reSize(QStringLiteral("[WNQ1-9][HVD0-9][SML0-9]*"));
    QString strPart;
    bool bFound = false;
    const QStringList parts = strProduct.split(QLatin1Char('-'));
    for (const QString &part : parts) {
        if (reModel.match(part).hasMatch()) {
            strPart = part;
            bFound = true;
            break;
        }
    }
    if (!bFound)
        return 1;
    const QStringList pieces = strPart.split(reSize);
    if (pieces.size() < 2)
        return 1;
    const QString strCode = pieces.last().left(2).toUpper();
    if (strCode.isEmpty())
        return 1;
    const QChar cLast = strCode.at(strCode.size() - 1);
    if (cLast >= QLatin1Char('A') && cLast <= QLatin1Char('H'))
        return DecodeModelLetter(cLast.toLatin1());
    if (cLast == QLatin1Char('R'))
        m_hardwareInfo.SetInterfaceDir(1);
    else if (cLast == QLatin1Char('L'))
        m_hardwareInfo.SetInterfaceDir(0);
    switch (strCode.at(0).unicode()) {
    case 'U':
        m_hardwareInfo.SetInterfaceType(1);
        return 1;
    case 'R':
        m_hardwareInfo.SetInterfaceType(4);
        return 4;
    case 'D':
        m_hardwareInfo.SetInterfaceType(5);
        return 5;
    default:
        return 1;
    }
}

int32_t HardwareInterface::ParseProductModel2(QString strProduct)
{
    ParseProductModel(strProduct);
    return 0;
}
