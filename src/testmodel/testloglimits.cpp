#include "testloglimits.h"

#include "touchbase.h"

#include <QBuffer>
#include <QHash>
#include <QVector>
#include <QXmlStreamReader>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

enum ECounted
{
    kAxis,
    kDir,
    kType,
    kData,
    kStandard,
    kLabel,
    kPcb,
    kLed,
    kRelation,
    kConnector,
    kInfo,
    kCountedKinds
};

struct SCounted
{
    const char *pName;
    qint64 nMax;
};

const SCounted kCounted[kCountedKinds] = {
    {"axis", CTestLogLimits::kMaxAxes},           {"dir", CTestLogLimits::kMaxDirs},
    {"type", CTestLogLimits::kMaxKinds},          {"data", CTestLogLimits::kMaxFrames},
    {"standard", CTestLogLimits::kMaxStandards},  {"label", CTestLogLimits::kMaxLabels},
    {"pcb", CTestLogLimits::kMaxBoards},          {"led", CTestLogLimits::kMaxSensors},
    {"relation", CTestLogLimits::kMaxRelations},  {"connector", CTestLogLimits::kMaxConnectors},
    {"info", CTestLogLimits::kMaxInfoItems},
};

// Elements whose whole text content a reader takes (nested elements' text
// included). Only their text is kept, so only their text counts in full; the
// indentation between the children of any other element is no content.
bool IsTextElement(const QStringRef &name)
{
    return name == QLatin1String("info") || name == QLatin1String("result") || name == QLatin1String("relation")
        || name == QLatin1String("connector") || name == QLatin1String("standard") || name == QLatin1String("label");
}

bool Fail(QString *pstrReason, const QString &strReason)
{
    if (pstrReason)
        *pstrReason = strReason;
    return false;
}

std::atomic<qint64> g_nMaxElementsForTests{0};

// Index just past the first occurrence of szEnd at or after nFrom, or -1.
int SkipPast(const QByteArray &data, int nFrom, const char *szEnd)
{
    const int nAt = data.indexOf(szEnd, nFrom);
    return nAt < 0 ? -1 : nAt + int(qstrlen(szEnd));
}

} // namespace

qint64 CTestLogLimits::MaxElements()
{
    const qint64 nOverride = g_nMaxElementsForTests.load();
    return nOverride > 0 ? nOverride : kMaxElements;
}

void CTestLogLimits::SetMaxElementsForTests(qint64 nMax)
{
    g_nMaxElementsForTests.store(nMax);
}

bool CTestLogLimits::ScanBytes(const QByteArray &data, QString *pstrReason)
{
    const qint64 nMaxElements = MaxElements();
    qint64 nElements = 0;
    const char *p = data.constData();
    const int nSize = data.size();
    int i = 0;
    while (i < nSize) {
        const char *pTag = static_cast<const char *>(std::memchr(p + i, '<', size_t(nSize - i)));
        if (!pTag)
            break;
        i = int(pTag - p);
        const char cNext = i + 1 < nSize ? p[i + 1] : '\0';
        if (cNext == '!') {
            // A comment, a CDATA section or a declaration: no attributes.
            int nEnd;
            if (nSize - i >= 4 && std::memcmp(p + i, "<!--", 4) == 0)
                nEnd = SkipPast(data, i + 4, "-->");
            else if (nSize - i >= 9 && std::memcmp(p + i, "<![CDATA[", 9) == 0)
                nEnd = SkipPast(data, i + 9, "]]>");
            else
                nEnd = SkipPast(data, i + 2, ">");
            if (nEnd < 0)
                break; // unfinished: the reader reports it
            i = nEnd;
            continue;
        }
        if (cNext == '?') {
            const int nEnd = SkipPast(data, i + 2, "?>");
            if (nEnd < 0)
                break;
            i = nEnd;
            continue;
        }
        // A start or end tag: attributes are the "=" outside quoted values.
        const bool bStart = cNext != '/';
        if (bStart && ++nElements > nMaxElements)
            return Fail(pstrReason, QStringLiteral("more than %1 elements").arg(nMaxElements));
        int nAttributes = 0;
        char cQuote = 0;
        const int nTagStart = i;
        ++i;
        for (; i < nSize; ++i) {
            if (i - nTagStart > kMaxTagBytes)
                return Fail(pstrReason, QStringLiteral("a tag longer than %1 bytes").arg(kMaxTagBytes));
            const char c = p[i];
            if (cQuote) {
                if (c == cQuote)
                    cQuote = 0;
            } else if (c == '"' || c == '\'') {
                cQuote = c;
            } else if (c == '=') {
                if (++nAttributes > kMaxAttributes)
                    return Fail(pstrReason, QStringLiteral("an element with more than %1 attributes").arg(kMaxAttributes));
            } else if (c == '>') {
                ++i;
                break;
            } else if (c == '<') {
                break; // not well-formed: the reader reports it
            }
        }
    }
    return true;
}

bool CTestLogLimits::ScanDocument(const QByteArray &data, QString *pstrReason)
{
    if (data.size() > kMaxFileBytes)
        return Fail(pstrReason, QStringLiteral("the log is %1 bytes long").arg(data.size()));
    if (!ScanBytes(data, pstrReason))
        return false;

    QHash<QString, int> mapKinds;
    for (int i = 0; i < kCountedKinds; ++i)
        mapKinds.insert(QString::fromLatin1(kCounted[i].pName), i);
    qint64 nCount[kCountedKinds] = {};
    qint64 nValues = 0;

    // Per open element: its counted kind (or -1), the length of its text,
    // for a recorded frame its number of values, the index of the innermost
    // element at or above it whose text a reader takes (-1: none), and of the
    // recorded frame at or above it (-1: none): the reader takes all the text
    // below a "data" element, so all of it counts toward that element.
    struct SOpen
    {
        int nKind;
        qint64 nText;
        qint64 nValues;
        int nTextOwner;
        int nDataOwner;
    };
    QVector<SOpen> stack;

    // Read through a device, a block at a time: given the whole array, the
    // reader would decode all of it at once, twice the log's size.
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&buffer);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (stack.size() >= kMaxDepth)
                return Fail(pstrReason, QStringLiteral("elements are nested more than %1 deep").arg(kMaxDepth));
            const int nKind = mapKinds.value(reader.name().toString(), -1);
            if (nKind >= 0 && ++nCount[nKind] > kCounted[nKind].nMax)
                return Fail(pstrReason, QStringLiteral("more than %1 \"%2\" elements")
                                            .arg(kCounted[nKind].nMax)
                                            .arg(QLatin1String(kCounted[nKind].pName)));
            const QXmlStreamAttributes attrs = reader.attributes();
            for (const QXmlStreamAttribute &attr : attrs) {
                const QStringRef value = attr.value();
                if (attr.name() == QLatin1String("divide")) {
                    if (value.size() > kMaxDivideChars)
                        return Fail(pstrReason,
                                    QStringLiteral("a divide list longer than %1 characters").arg(kMaxDivideChars));
                    if (value.count(QLatin1Char('-')) >= int(kMaxLeds))
                        return Fail(pstrReason, QStringLiteral("a divide list longer than %1 entries").arg(kMaxLeds));
                } else if (value.size() > kMaxAttributeChars) {
                    return Fail(pstrReason, QStringLiteral("an attribute \"%1\" of %2 characters")
                                                .arg(attr.name().toString())
                                                .arg(value.size()));
                }
            }
            int nOwner = stack.isEmpty() ? -1 : stack.last().nTextOwner;
            if (nOwner < 0 && IsTextElement(reader.name()))
                nOwner = stack.size();
            int nDataOwner = stack.isEmpty() ? -1 : stack.last().nDataOwner;
            if (nDataOwner < 0 && nKind == kData)
                nDataOwner = stack.size();
            stack.append({nKind, 0, 1, nOwner, nDataOwner});
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!stack.isEmpty())
                stack.removeLast();
            break;
        case QXmlStreamReader::Characters:
            if (!stack.isEmpty()) {
                SOpen &open = stack.last();
                const QStringRef text = reader.text();
                if (open.nDataOwner >= 0) {
                    SOpen &frame = stack[open.nDataOwner];
                    const int nSpaces = text.count(QLatin1Char(' '));
                    frame.nValues += nSpaces;
                    frame.nText += text.size();
                    nValues += nSpaces;
                    if (frame.nValues > kMaxLeds)
                        return Fail(pstrReason, QStringLiteral("a recorded frame of more than %1 values").arg(kMaxLeds));
                    if (frame.nText > kMaxDataChars)
                        return Fail(pstrReason,
                                    QStringLiteral("a recorded frame of more than %1 characters").arg(kMaxDataChars));
                    if (nValues > kMaxValues)
                        return Fail(pstrReason, QStringLiteral("more than %1 recorded values").arg(kMaxValues));
                } else if (open.nTextOwner >= 0 || !reader.isWhitespace()) {
                    SOpen &owner = open.nTextOwner >= 0 ? stack[open.nTextOwner] : open;
                    owner.nText += text.size();
                    if (owner.nText > kMaxTextChars)
                        return Fail(pstrReason, QStringLiteral("an element text of more than %1 characters")
                                                    .arg(kMaxTextChars));
                }
            }
            break;
        default:
            break;
        }
    }
    // A document that is not well-formed is reported by the reader proper.
    return true;
}

bool CTestLogLimits::CheckModel(CTouchBase &touch, QString *pstrReason)
{
    const int32_t nTimes = touch.GetTestTimesForUnt();
    if (nTimes > kMaxTestTimes)
        return Fail(pstrReason, QStringLiteral("TEST_TIMES_FOR_UNT %1 is above %2").arg(nTimes).arg(kMaxTestTimes));

    // A number that is no unsigned decimal number (where the log's form
    // gives it no reading of its own) is no value the test could judge: read
    // as 0 it would be a dead LED, a zone border, a weak-signal limit, a side
    // or a sensor the log does not hold.
    auto noNumber = [pstrReason](const QString &strWhere, const QString &strUnreadable) {
        return Fail(pstrReason, QStringLiteral("%1 %2 is no unsigned decimal number").arg(strWhere, strUnreadable));
    };
    if (!touch.GetHardwareInfo().GetUnreadableNumber().isEmpty())
        return noNumber(QStringLiteral("hardware_info"), touch.GetHardwareInfo().GetUnreadableNumber());

    qint64 nLedsPerFrame = 0;
    qint64 nDirs = 0;
    const QMap<QString, CAxisSignalInfo> &mapAxes = touch.GetAxisSignalMap();
    if (mapAxes.size() > kMaxTestAxes)
        return Fail(pstrReason, QStringLiteral("more than %1 axes").arg(kMaxTestAxes));
    for (auto itAxis = mapAxes.cbegin(); itAxis != mapAxes.cend(); ++itAxis) {
        const CAxisSignalInfo &axis = itAxis.value();
        const QString &strAxis = itAxis.key();
        if (!axis.GetUnreadableNumber().isEmpty())
            return noNumber(QStringLiteral("axis ") + strAxis, axis.GetUnreadableNumber());
        if (axis.GetMaxSignal() > kMaxLeds)
            return Fail(pstrReason, QStringLiteral("axis %1 has maxSignal %2").arg(strAxis).arg(axis.GetMaxSignal()));
        if (axis.GetSignalStart() > kMaxLeds)
            return Fail(pstrReason,
                        QStringLiteral("axis %1 has signalStart %2").arg(strAxis).arg(axis.GetSignalStart()));
        if (axis.GetMaxValue() > kMaxValueCeiling)
            return Fail(pstrReason, QStringLiteral("axis %1 has maxValue %2").arg(strAxis).arg(axis.GetMaxValue()));
        for (const uint32_t nDivide : axis.GetDivide()) {
            if (nDivide > kMaxLeds)
                return Fail(pstrReason, QStringLiteral("axis %1 is divided at LED %2").arg(strAxis).arg(nDivide));
        }
        const QMap<QString, CDirSignalInfo> &mapDirs = axis.GetDirMap();
        nDirs += mapDirs.size();
        if (nDirs > kMaxTestDirs)
            return Fail(pstrReason, QStringLiteral("more than %1 directions").arg(kMaxTestDirs));
        nLedsPerFrame += qint64(axis.GetMaxSignal()) * mapDirs.size();
        if (nLedsPerFrame > kMaxLedsPerFrame)
            return Fail(pstrReason, QStringLiteral("more than %1 LEDs to judge per frame").arg(kMaxLedsPerFrame));
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
            if (!itDir.value().GetUnreadableNumber().isEmpty())
                return noNumber(strAxis + QLatin1Char('-') + itDir.key(), itDir.value().GetUnreadableNumber());
            const QMap<QString, CSignalTypeInfo> &mapKinds = itDir.value().GetTypeMap();
            for (auto itKind = mapKinds.cbegin(); itKind != mapKinds.cend(); ++itKind) {
                const QString strWhere = strAxis + QLatin1Char('-') + itDir.key() + QLatin1Char(' ') + itKind.key();
                // A reading, frame number or window.
                const QString &strUnreadable = itKind.value().GetUnreadableNumber();
                if (!strUnreadable.isEmpty())
                    return noNumber(strWhere, strUnreadable);
                const QMap<uint32_t, QList<uint32_t>> &mapData = itKind.value().GetTestDataMap();
                if (mapData.isEmpty())
                    continue;
                if (mapData.lastKey() > kMaxFrameNumber)
                    return Fail(pstrReason,
                                QStringLiteral("%1 holds frame number %2").arg(strWhere).arg(mapData.lastKey()));
                // A frame read twice under one number holds both parts.
                for (auto itFrame = mapData.cbegin(); itFrame != mapData.cend(); ++itFrame) {
                    if (uint32_t(itFrame.value().size()) > axis.GetMaxSignal())
                        return Fail(pstrReason, QStringLiteral("%1 frame %2 holds %3 values, more than maxSignal %4")
                                                    .arg(strWhere)
                                                    .arg(itFrame.key())
                                                    .arg(itFrame.value().size())
                                                    .arg(axis.GetMaxSignal()));
                }
            }
        }
    }
    const qint64 nWork = qint64(qMax(nTimes, 1)) * (nLedsPerFrame + nDirs);
    if (nWork > kMaxRunWork)
        return Fail(pstrReason, QStringLiteral("TEST_TIMES_FOR_UNT %1 over %2 LEDs is more work than a run can be")
                                    .arg(nTimes)
                                    .arg(nLedsPerFrame));
    return true;
}
