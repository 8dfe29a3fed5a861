#include "touchhardware.h"

#include "deviceinfokey.h"
#include "localclock.h"
#include "operateenvironment.h"
#include "testlogerror.h"
#include "wholefile.h"

#include <QLocale>
#include <QXmlStreamWriter>
#include <QtDebug>

namespace {

// Longest file-name component built from a frame text, in UTF-8 bytes; keeps
// a whole log name well below the 255 bytes a file name can have.
constexpr int kMaxNamePartBytes = 96;

// Characters that XML 1.0 cannot carry; a frame text holding them would make
// the log unreadable, so they are written as "?" instead.
bool IsXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

QString XmlSafe(const QString &strText)
{
    bool bClean = true;
    for (const QChar ch : strText) {
        if (ch.isSurrogate() || !IsXmlChar(ch.unicode())) {
            bClean = false;
            break;
        }
    }
    if (bClean)
        return strText;
    const QVector<uint> ucs4 = strText.toUcs4();
    QString strOut;
    strOut.reserve(strText.size());
    for (const uint c : ucs4) {
        if (IsXmlChar(c))
            strOut.append(QString::fromUcs4(&c, 1));
        else
            strOut.append(QLatin1Char('?'));
    }
    return strOut;
}

QString LastValue(const QList<CPropertyItem> &lst, const QString &strKey, const QString &strDefault)
{
    QString str = strDefault;
    for (const CPropertyItem &item : lst) {
        if (item.first == strKey)
            str = item.second;
    }
    return str;
}

QString FirstValue(const QList<CPropertyItem> &lst, const QString &strKey, const QString &strDefault)
{
    for (const CPropertyItem &item : lst) {
        if (item.first == strKey)
            return item.second;
    }
    return strDefault;
}

} // namespace

CTouchHardware::CTouchHardware(COperateEnvironment *pEnv, CComPort *pPort, QString strName, QObject *parent)
    : CTouchBase(pEnv, std::move(strName), parent)
    , m_pPort(pPort)
{
    m_nType = 1;
}

CTouchHardware::~CTouchHardware() = default;

int32_t CTouchHardware::StartTest(int32_t)
{
    m_bPrepared = false;
    m_hardwareInfo = CHardwareInfo();
    m_mapAxisSignal.clear();
    m_lstProperty.clear();
    ClearInterfaceTestResult();

    int32_t r = InitTestConfig();
    if (r < 0)
        return r;
    m_bPrepared = true;

    SetDriverRunning(m_pEnv && m_pEnv->IsDriverRunning());
    r = CheckLedError(true);
    if (r >= 0)
        r = RunTest();
    SetDriverRunning(false);
    return r;
}

int32_t CTouchHardware::ReTest(int32_t)
{
    if (!m_bPrepared) {
        qWarning().noquote() << "ReTest" << ": the frame was not prepared for a test, nothing is tested";
        return ERROR_TEST_NOT_PREPARED;
    }
    SetDriverRunning(m_pEnv && m_pEnv->IsDriverRunning());
    int32_t r = CheckLedError(true);
    ClearInterfaceTestResult();
    if (r >= 0)
        r = RunTest();
    SetDriverRunning(false);
    return r;
}

int32_t CTouchHardware::SaveXml(const QString &strPath)
{
    // Built whole in memory, then written beside the target in one write and
    // renamed over it only when the disk took all of it: a crash or a full
    // disk never leaves a truncated or empty log in place of a good one.
    m_strSaveError.clear();
    const QByteArray data = MakeXml(strPath);
    if (!WriteWholeFile(strPath, data, &m_strSaveError)) {
        qWarning().noquote() << "Cannot write the test log" << strPath << "-" << m_strSaveError;
        return ERROR_LOG_SAVE;
    }
    return 0;
}

QByteArray CTouchHardware::MakeXml(const QString &strFor)
{
    QByteArray data;
    QXmlStreamWriter writer(&data);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("touch_device"));
    if (m_pEnv)
        m_pEnv->WriteAppInfoXml(writer);
    WriteDeviceInfoXml(writer);
    if (!m_strInterfaceTestName.isEmpty()) {
        writer.writeStartElement(QStringLiteral("interface_test"));
        writer.writeStartElement(QStringLiteral("result"));
        writer.writeAttribute(QStringLiteral("name"), XmlSafe(m_strInterfaceTestName));
        writer.writeCharacters(XmlSafe(m_strInterfaceTestResult));
        writer.writeEndElement();
        writer.writeEndElement();
    }
    m_hardwareInfo.WriteXml(writer);
    WriteTestXml(writer);
    writer.writeEndElement();
    writer.writeEndDocument();

    // Written to memory, a writer error means that a text held characters
    // XML cannot carry; the writer left them out and the log stays readable.
    if (writer.hasError())
        qWarning().noquote() << "Test log" << strFor << ": characters that XML cannot hold were left out";
    return data;
}

QString CTouchHardware::GetLogDir()
{
    return MakeLogDir(m_lstProperty);
}

QString CTouchHardware::GetLogFileName()
{
    return MakeLogFileName(CLocalClock::Now(), m_lstProperty);
}

QString CTouchHardware::MakeLogDir(const QList<CPropertyItem> &lstProperty)
{
    const QString strProductDefault = QStringLiteral("UnknownProduct");
    const QString strCheckSumDefault = QStringLiteral("UnknownCheckSum");
    const QString strProduct = LastValue(lstProperty, DeviceInfoKey::kProduct, strProductDefault);
    const QString strCheckSum = LastValue(lstProperty, DeviceInfoKey::kCheckSum, strCheckSumDefault);
    return SafeFileNamePart(strProduct, strProductDefault) + QLatin1Char('/')
        + SafeFileNamePart(strCheckSum, strCheckSumDefault);
}

QString CTouchHardware::MakeLogFileName(const QDateTime &time, const QList<CPropertyItem> &lstProperty)
{
    const QString strMcuDefault = QStringLiteral("UnknownMcuID");
    const QString strBatchDefault = QStringLiteral("UnknownBatchInfo");
    const QString strMcuID = FirstValue(lstProperty, DeviceInfoKey::kMcuID, strMcuDefault);
    const QString strBatch = FirstValue(lstProperty, DeviceInfoKey::kBatchInfo, strBatchDefault);
    // The C locale: the system's may write its own digits (Arabic-Indic ones, say).
    return QLocale::c().toString(time, QStringLiteral("yyyyMMdd_hh-mm-ss_zzz")) + QLatin1Char('_')
        + SafeFileNamePart(strMcuID, strMcuDefault) + QLatin1Char('_') + SafeFileNamePart(strBatch, strBatchDefault);
}

QString CTouchHardware::SafeFileNamePart(const QString &strText, const QString &strFallback)
{
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    QString str;
    str.reserve(strText.size());
    for (const QChar ch : strText) {
        const ushort c = ch.unicode();
        if (c < 0x20 || c == 0x7F || kForbidden.contains(ch))
            str.append(QLatin1Char('_'));
        else
            str.append(ch);
    }
    // Keep the name short enough for any file system; never cut a character
    // in half.
    int nBytes = 0;
    for (int i = 0; i < str.size(); ++i) {
        const QChar ch = str.at(i);
        const bool bPair = ch.isHighSurrogate() && i + 1 < str.size() && str.at(i + 1).isLowSurrogate();
        const int nLen = bPair ? 4 : (ch.unicode() < 0x80 ? 1 : (ch.unicode() < 0x800 ? 2 : 3));
        if (nBytes + nLen > kMaxNamePartBytes) {
            str.truncate(i);
            break;
        }
        nBytes += nLen;
        if (bPair)
            ++i;
    }
    if (str.isEmpty() || str == QLatin1String(".") || str == QLatin1String(".."))
        return strFallback;
    return str;
}

int32_t CTouchHardware::SetDriverRunning(bool bRunning)
{
    m_bDriverRunning = bRunning;
    return 0;
}

int32_t CTouchHardware::SetCheckLedError(bool bCheck)
{
    bCheckLedError = bCheck;
    return 0;
}

int32_t CTouchHardware::StartRecord()
{
    m_bRecording = true;
    m_nRecordedFrames = 0;
    m_nFrameNumber = m_nRecordBase + 1;
    return 0;
}

int32_t CTouchHardware::StopRecord()
{
    m_bRecording = false;
    return 0;
}

void CTouchHardware::WriteDeviceInfoXml(QXmlStreamWriter &writer)
{
    if (m_lstProperty.isEmpty())
        return;
    writer.writeStartElement(QStringLiteral("device_info"));
    int nIndex = 0;
    for (const CPropertyItem &item : qAsConst(m_lstProperty)) {
        writer.writeStartElement(QStringLiteral("info"));
        writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex++));
        writer.writeAttribute(QStringLiteral("name"), XmlSafe(item.first));
        writer.writeCharacters(XmlSafe(item.second));
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void CTouchHardware::WriteTestXml(QXmlStreamWriter &writer)
{
    if (m_mapAxisSignal.isEmpty())
        return;
    writer.writeStartElement(QStringLiteral("test"));
    writer.writeAttribute(QStringLiteral("TEST_TIMES_FOR_UNT"), QString::number(TEST_TIMES_FOR_UNT));
    writer.writeAttribute(QStringLiteral("MaxTolerantWeakSignalTotal"), QString::number(MaxTolerantWeakSignalTotal));
    writer.writeAttribute(QStringLiteral("MaxTolerantWeakSignalEachLed"), QString::number(MaxTolerantWeakSignalEachLed));
    writer.writeAttribute(QStringLiteral("eInitAgcWhileRetest"), QString::number(eInitAgcWhileRetest));
    int nIndex = 0;
    for (auto it = m_mapAxisSignal.cbegin(); it != m_mapAxisSignal.cend(); ++it) {
        const CAxisSignalInfo &axis = it.value();
        writer.writeStartElement(QStringLiteral("axis"));
        writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex++));
        writer.writeAttribute(QStringLiteral("name"), XmlSafe(it.key()));
        writer.writeAttribute(QStringLiteral("maxSignal"), QString::number(axis.GetMaxSignal()));
        writer.writeAttribute(QStringLiteral("maxValue"), QString::number(axis.GetMaxValue()));
        writer.writeAttribute(QStringLiteral("signalStart"), QString::number(axis.GetSignalStart()));
        writer.writeAttribute(QStringLiteral("divide"), axis.GetDivideText());
        axis.WriteDirs(writer);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}
