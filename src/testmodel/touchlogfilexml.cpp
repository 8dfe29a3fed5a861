#include "touchlogfilexml.h"

#include "operateenvironment.h"
#include "signalkind.h"
#include "testlogerror.h"
#include "testloglimits.h"

#include <QBuffer>
#include <QFile>
#include <QXmlStreamReader>
#include <QtDebug>

namespace {

// Reads an integer attribute of the test section: strDefault when absent, 0
// when it is no decimal number.
int32_t ReadIntAttribute(const QXmlStreamAttributes &attrs, const QString &strName, int32_t nDefault)
{
    if (!attrs.hasAttribute(strName))
        return nDefault;
    return attrs.value(strName).toInt();
}

uint32_t ReadUIntAttribute(const QXmlStreamAttributes &attrs, const QString &strName, uint32_t nDefault)
{
    if (!attrs.hasAttribute(strName))
        return nDefault;
    return attrs.value(strName).toUInt();
}

} // namespace

CTouchLogfileXML::CTouchLogfileXML(COperateEnvironment *pEnv, QString strPath, QObject *parent)
    : CTouchLogfile(pEnv, std::move(strPath), parent)
{
}

CTouchLogfileXML::~CTouchLogfileXML() = default;

CTouchLogfileXML *CTouchLogfileXML::Create(COperateEnvironment *pEnv, const QString &strPath, QObject *parent)
{
    return new CTouchLogfileXML(pEnv, strPath, parent);
}

bool CTouchLogfileXML::ReInitDeviceInfo()
{
    return false;
}

int32_t CTouchLogfileXML::ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                         SignalFrame &lstOut, uint32_t *pFrameNumber)
{
    lstOut.clear();
    const QString strKey = strAxis + QLatin1Char('-') + strDir;
    const auto itAxis = m_mapAxisSignal.constFind(strAxis);
    const CDirSignalInfo *pDir = (itAxis != m_mapAxisSignal.cend()) ? itAxis.value().FindDir(strDir) : nullptr;

    if (strKind == SignalKind::kUnt) {
        const CSignalTypeInfo *pUnt = pDir ? pDir->FindType(strKind) : nullptr;
        const QString strType = pUnt ? pUnt->GetStandardType() : QString();
        const uint32_t nMaxSignal = (itAxis != m_mapAxisSignal.cend()) ? itAxis.value().GetMaxSignal() : 0;
        return CalcFluctuation(strType, m_mapAdcSignal.value(strKey), lstOut, nMaxSignal);
    }

    // The recorded frame of a kind at the current position, if any.
    auto readRecorded = [&](const QString &strRecorded) {
        const CSignalTypeInfo *pType = pDir ? pDir->FindType(strRecorded) : nullptr;
        if (pType)
            pType->GetTestData(lstOut, m_nFrameNumber);
    };
    // The map keeps the newest frame only (one frame replaced by the next).
    auto keepOnly = [&](SignalMap &map) {
        QList<SignalFrame> &lst = map[strKey];
        if (!lst.isEmpty())
            lst.removeFirst();
        lst.append(lstOut);
    };

    if (strKind == SignalKind::kAgc) {
        readRecorded(strKind);
        if (!lstOut.isEmpty())
            keepOnly(m_mapAgcSignal);
    } else if (strKind == SignalKind::kAdc && m_bReverseMode) {
        readRecorded(SignalKind::kReverse);
        if (!lstOut.isEmpty())
            keepOnly(m_mapReverseSignal);
    } else if (strKind == SignalKind::kAdc) {
        readRecorded(strKind);
        if (!lstOut.isEmpty()) {
            // A sliding window of the last TEST_TIMES_FOR_UNT frames (the
            // newest alone when a log sets no positive count).
            const int nWindow = TEST_TIMES_FOR_UNT > 0 ? TEST_TIMES_FOR_UNT : 1;
            QList<SignalFrame> &lst = m_mapAdcSignal[strKey];
            if (lst.size() >= nWindow && !lst.isEmpty())
                lst.removeFirst();
            lst.append(lstOut);
        }
    }
    // Any other kind reads nothing, but the position is still reported.
    if (pFrameNumber)
        *pFrameNumber = m_nFrameNumber;
    return lstOut.size();
}

int32_t CTouchLogfileXML::RecordSignal(const QString &, const SignalMap &, uint32_t)
{
    return 0;
}

int32_t CTouchLogfileXML::ClearSignalData()
{
    m_nFrameNumber = 0;
    m_mapReverseSignal.clear();
    m_mapAdcSignal.clear();
    m_mapAgcSignal.clear();
    m_mapUntSignal.clear();
    m_mapSignalError.clear();
    return 0;
}

int32_t CTouchLogfileXML::ReadSignal(const QString &strKind, SignalMap &mapSignal)
{
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        const QMap<QString, CDirSignalInfo> &mapDirs = itAxis.value().GetDirMap();
        // A frame reads every axis with LEDs (the station skips those without).
        const bool bHasLeds = itAxis.value().GetMaxSignal() > 0;
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
            const CSignalTypeInfo *pType = itDir.value().FindType(strKind);
            SignalFrame frame;
            if (pType)
                pType->GetTestData(frame, m_nFrameNumber);
            const QString strKey = itAxis.key() + QLatin1Char('-') + itDir.key();
            if (!frame.isEmpty())
                mapSignal[strKey].append(frame);
            if (bHasLeds)
                NoteFrameRead(strKind, strKey, !frame.isEmpty());
        }
    }
    return 0;
}

int32_t CTouchLogfileXML::ReadReverseSignal(SignalMap &mapSignal)
{
    return ReadSignal(SignalKind::kReverse, mapSignal);
}

int32_t CTouchLogfileXML::StartTest(int32_t)
{
    // The open mode passed by the callers is always read-only; a log is never
    // opened for writing here, whatever the argument.
    ForgetRunVerdict();
    int32_t r = LoadFile();
    m_nLastRecord = GetRecordCount();
    if (r == 0)
        r = RunTest();
    // Before anything can step the replay on.
    if (r == 0)
        KeepRunVerdict();
    return r;
}

int32_t CTouchLogfileXML::ReTest(int32_t nMode)
{
    return StartTest(nMode);
}

int32_t CTouchLogfileXML::InitTestConfig()
{
    return 0;
}

int32_t CTouchLogfileXML::InitDeviceInfo()
{
    return 0;
}

uint32_t CTouchLogfileXML::GetRecordCount()
{
    uint32_t nMax = 0;
    for (auto it = m_mapAxisSignal.cbegin(); it != m_mapAxisSignal.cend(); ++it)
        nMax = qMax(nMax, it.value().GetRecordCount());
    return nMax;
}

void CTouchLogfileXML::ResetLogContent()
{
    ClearSignalData();
    m_mapAxisSignal.clear();
    m_lstProperty.clear();
    m_hardwareInfo = CHardwareInfo();
    ClearInterfaceTestResult();
    TEST_TIMES_FOR_UNT = 10;
    MaxTolerantWeakSignalTotal = 0;
    MaxTolerantWeakSignalEachLed = 0;
    eInitAgcWhileRetest = 0;
    m_nRecordBase = 0;
    m_nLastRecord = 0;
}

int32_t CTouchLogfileXML::LoadFile()
{
    // Each reading starts from an empty object: a retest of a replay gives
    // the same maps and result as its first run.
    ResetLogContent();

    QFile file(m_strName);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Cannot open the test log" << m_strName << "-" << file.errorString();
        return ERROR_LOG_OPEN;
    }
    if (file.size() > CTestLogLimits::kMaxFileBytes) {
        qWarning().noquote() << "Test log" << m_strName << "refused:" << file.size() << "bytes is more than a log can be";
        return ERROR_LOG_FORMAT;
    }
    // Read what the file holds, in pieces (read() with the limit would
    // reserve all of it); a file that grows past the limit is refused below.
    QByteArray data;
    data.reserve(int(qMin(file.size(), CTestLogLimits::kMaxFileBytes)));
    while (data.size() <= CTestLogLimits::kMaxFileBytes) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            break;
        data += chunk;
    }
    file.close();
    return ReadLogData(data);
}

int32_t CTouchLogfileXML::ReadLogData(const QByteArray &data)
{
    ResetLogContent();
    if (data.size() > CTestLogLimits::kMaxFileBytes) {
        qWarning().noquote() << "Test log" << m_strName << "refused:" << data.size() << "bytes is more than a log can be";
        return ERROR_LOG_FORMAT;
    }
    QString strReason;
    if (!CTestLogLimits::ScanDocument(data, &strReason)) {
        qWarning().noquote() << "Test log" << m_strName << "refused:" << strReason;
        return ERROR_LOG_FORMAT;
    }

    // Reading app_info replaces the station's environment list; a log refused
    // as hostile must not leave its texts there as station data.
    const COperateEnvironment::EnvironmentList lstEnvironment =
        m_pEnv ? *m_pEnv->GetEnvironmentList() : COperateEnvironment::EnvironmentList();
    // Through a device, a block at a time (see CTestLogLimits::ScanDocument).
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&buffer);
    int32_t r = AnalysisXml(reader);
    reader.clear();

    if (!CTestLogLimits::CheckModel(*this, &strReason)) {
        qWarning().noquote() << "Test log" << m_strName << "refused:" << strReason;
        ResetLogContent();
        if (m_pEnv)
            *m_pEnv->GetEnvironmentList() = lstEnvironment;
        r = ERROR_LOG_FORMAT;
    }
    m_nLastRecord = GetRecordCount();
    return r;
}

int32_t CTouchLogfileXML::AnalysisXml(QXmlStreamReader &reader)
{
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = reader.name();
        if (name == QLatin1String("touch_device"))
            continue; // entered: its children are the sections
        if (name == QLatin1String("app_info"))
            ReadAppInfo(reader);
        else if (name == QLatin1String("device_info"))
            ReadDeviceInfo(reader);
        else if (name == QLatin1String("interface_test"))
            ReadInterfaceTest(reader);
        else if (name == QLatin1String("hardware_info"))
            m_hardwareInfo.ReadXml(reader);
        else if (name == QLatin1String("test"))
            ReadTestInfo(reader);
        else
            reader.skipCurrentElement();
    }
    if (reader.hasError()) {
        qWarning().noquote() << QString::fromUtf8(u8"XML解析错误：%1  行号：%2  列号：%3  字符位移：%4")
                                    .arg(reader.errorString())
                                    .arg(reader.lineNumber())
                                    .arg(reader.columnNumber())
                                    .arg(reader.characterOffset());
        return ERROR_LOG_FORMAT;
    }
    return 0;
}

bool CTouchLogfileXML::ReadAppInfo(QXmlStreamReader &reader)
{
    QList<QPair<QString, QString>> *pList = m_pEnv ? m_pEnv->GetEnvironmentList() : nullptr;
    if (!pList) {
        reader.skipCurrentElement();
        return reader.hasError();
    }
    pList->clear();
    // Every named "info" up to the end of the section, at any depth.
    int nDepth = 1;
    while (nDepth > 0 && !reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --nDepth;
        } else if (token == QXmlStreamReader::StartElement) {
            if (reader.name() == QLatin1String("info") && reader.attributes().hasAttribute(QStringLiteral("name"))) {
                const QString strName = reader.attributes().value(QStringLiteral("name")).toString();
                const QString strValue = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                pList->append(qMakePair(strName, strValue));
            } else {
                ++nDepth;
            }
        }
    }
    return reader.hasError();
}

bool CTouchLogfileXML::ReadDeviceInfo(QXmlStreamReader &reader)
{
    // Named "info" children only; anything else is skipped whole.
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("info") && reader.attributes().hasAttribute(QStringLiteral("name"))) {
            const QString strName = reader.attributes().value(QStringLiteral("name")).toString();
            const QString strValue = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            m_lstProperty.append(CPropertyItem(strName, strValue));
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}

bool CTouchLogfileXML::ReadInterfaceTest(QXmlStreamReader &reader)
{
    // Every named "result" up to the end of the section; the last one wins.
    int nDepth = 1;
    while (nDepth > 0 && !reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --nDepth;
        } else if (token == QXmlStreamReader::StartElement) {
            if (reader.name() == QLatin1String("result") && reader.attributes().hasAttribute(QStringLiteral("name"))) {
                const QString strName = reader.attributes().value(QStringLiteral("name")).toString();
                const QString strValue = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                ClearInterfaceTestResult();
                SetInterfaceTestResult(qMakePair(strName, strValue));
            } else {
                ++nDepth;
            }
        }
    }
    return reader.hasError();
}

bool CTouchLogfileXML::ReadTestInfo(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    TEST_TIMES_FOR_UNT = ReadIntAttribute(attrs, QStringLiteral("TEST_TIMES_FOR_UNT"), 10);
    MaxTolerantWeakSignalTotal = ReadUIntAttribute(attrs, QStringLiteral("MaxTolerantWeakSignalTotal"), 0);
    MaxTolerantWeakSignalEachLed = ReadUIntAttribute(attrs, QStringLiteral("MaxTolerantWeakSignalEachLed"), 0);
    eInitAgcWhileRetest = ReadIntAttribute(attrs, QStringLiteral("eInitAgcWhileRetest"), 0);

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("axis") && reader.attributes().hasAttribute(QStringLiteral("name"))) {
            const QString strName = reader.attributes().value(QStringLiteral("name")).toString();
            m_mapAxisSignal[strName].ReadXml(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}
