// Sensor, board and connector analysis of the test core and the result code.

#include "touchbase.h"

#include <QSet>
#include <QVector>
#include <algorithm>

namespace {

const QString kLightError = QStringLiteral("LIGHT_ERROR");
const QString kLightWeak = QStringLiteral("LIGHT_WEAK");
const QString kSensorError = QStringLiteral("SENSOR_ERROR");
const QString kSensorWeak = QStringLiteral("SENSOR_WEEK");
const QString kPcbError = QStringLiteral("PCB_ERROR");
const QString kConnectorError = QStringLiteral("CONNECTOR_ERROR");
const QString kConnectorPro1 = QStringLiteral("CONNECTOR_ERROR_PRO1");
const QString kConnectorPro2 = QStringLiteral("CONNECTOR_ERROR_PRO2");

inline QString Place(const QString &strSide, qint64 n)
{
    return strSide + QLatin1Char(':') + QString::number(n);
}

inline QString Link(const QString &strSideA, qint64 a, const QString &strSideB, qint64 b)
{
    return Place(strSideA, a) + QLatin1Char('-') + Place(strSideB, b);
}

} // namespace

int32_t CTouchBase::AnalyseSensorError(ProblemMap &mapProblems)
{
    // Indexed once: a panel has thousands of relations to look up.
    const QList<QString> &lstError = mapProblems[kLightError];
    const QSet<QString> setError(lstError.cbegin(), lstError.cend());
    const QList<QString> &lstWeak = mapProblems[kLightWeak];
    const QSet<QString> setWeak(lstWeak.cbegin(), lstWeak.cend());

    const QMap<QString, CHardwareInfo::PcbList> &mapAxis = m_hardwareInfo.GetAxisMap();
    for (auto itSide = mapAxis.cbegin(); itSide != mapAxis.cend(); ++itSide) {
        qint64 n = 0;
        for (const CPcbInfo &pcb : *itSide) {
            for (const CSensorInfo &sensor : pcb.GetLeds()) {
                const QList<QString> &lstRelations = sensor.GetRelations();
                if (!lstRelations.isEmpty()) {
                    int e = 0;
                    int w = 0;
                    for (const QString &strRelation : lstRelations) {
                        if (setError.contains(strRelation))
                            ++e;
                        if (setWeak.contains(strRelation))
                            ++w;
                    }
                    if (e == lstRelations.size())
                        mapProblems[kSensorError].append(Place(itSide.key(), n));
                    else if (e + w >= 1)
                        mapProblems[kSensorWeak].append(Place(itSide.key(), n));
                }
                ++n;
            }
        }
    }
    return 0;
}

namespace {

// The sensor numbers of one side that are dead, each once, in order.
QVector<qint64> DeadSensorsOfSide(const ProblemMap &mapProblems, const QString &strSide)
{
    const QString strPrefix = strSide + QLatin1Char(':');
    QVector<qint64> vecDead;
    for (const QString &strEntry : mapProblems.value(kSensorError)) {
        if (!strEntry.startsWith(strPrefix))
            continue;
        const QStringRef strNumber = strEntry.midRef(strPrefix.size());
        bool bOk = false;
        const qint64 n = strNumber.toLongLong(&bOk);
        if (bOk && strNumber == QString::number(n))
            vecDead.append(n);
    }
    std::sort(vecDead.begin(), vecDead.end());
    vecDead.erase(std::unique(vecDead.begin(), vecDead.end()), vecDead.end());
    return vecDead;
}

// The board is dead when every sensor nFirst..nLast is (a board without
// sensors counts as such).
void JudgeBoard(ProblemMap &mapProblems, const QVector<qint64> &vecDead, const QString &strSide, int32_t nBoard,
                int32_t nFirst, int32_t nLast)
{
    const auto itFirst = std::lower_bound(vecDead.cbegin(), vecDead.cend(), qint64(nFirst));
    const auto itEnd = std::upper_bound(itFirst, vecDead.cend(), qint64(nLast));
    const qint64 k = itEnd - itFirst;
    if (k > static_cast<qint64>(nLast) - nFirst)
        mapProblems[kPcbError].append(Place(strSide, nBoard));
}

} // namespace

int32_t CTouchBase::AnalysePcbGroup(ProblemMap &mapProblems, const QString &strSide, int32_t nBoard, int32_t nFirst,
                                    int32_t nLast)
{
    JudgeBoard(mapProblems, DeadSensorsOfSide(mapProblems, strSide), strSide, nBoard, nFirst, nLast);
    return 0;
}

int32_t CTouchBase::AnalysePcbError(ProblemMap &mapProblems)
{
    // Each side's dead sensors are collected once, not once per board: the
    // analysis runs on every real-time refresh.
    const QMap<QString, CHardwareInfo::PcbList> &mapAxis = m_hardwareInfo.GetAxisMap();
    for (auto itSide = mapAxis.cbegin(); itSide != mapAxis.cend(); ++itSide) {
        const QString &strSide = itSide.key();
        const QVector<qint64> vecDead = DeadSensorsOfSide(mapProblems, strSide);
        const int64_t nTotal = m_hardwareInfo.GetSensorCount(strSide);
        int64_t nStart = 0;
        for (int32_t b = 0; nStart < nTotal && b < itSide->size(); ++b) {
            const int64_t c = m_hardwareInfo.GetPcbSensorCount(strSide, b);
            JudgeBoard(mapProblems, vecDead, strSide, b, static_cast<int32_t>(nStart),
                       static_cast<int32_t>(nStart + c - 1));
            nStart += c;
        }
    }
    return 0;
}

int32_t CTouchBase::AnalyseConnectorError(ProblemMap &mapProblems)
{
    if (!mapProblems.contains(kPcbError))
        return 0;

    const QMap<uint32_t, QString> &mapIds = m_hardwareInfo.GetAxisIdMap();
    const QMap<QString, CHardwareInfo::PcbList> &mapAxis = m_hardwareInfo.GetAxisMap();
    auto has = [&](uint32_t nId) { return mapIds.contains(nId); };
    auto side = [&](uint32_t nId) { return mapIds.value(nId); };
    auto boards = [&](const QString &strSide) -> qint64 {
        auto it = mapAxis.constFind(strSide);
        return it == mapAxis.cend() ? 0 : it->size();
    };

    QList<QString> lstPcb = mapProblems.value(kPcbError);
    auto appendK = [&](const QString &strLink) { mapProblems[kConnectorError].append(strLink); };
    // From the far end of a side back to its first live board; the dead boards
    // passed on the way leave the board list (every copy of them). Returns the
    // live board, or -1 when the whole side is dead.
    auto scan = [&](const QString &strSide) -> qint64 {
        qint64 j = boards(strSide) - 1;
        for (; j >= 0; --j) {
            const QString strPlace = Place(strSide, j);
            if (!lstPcb.contains(strPlace))
                break;
            lstPcb.removeAll(strPlace);
        }
        return j;
    };
    auto purge = [&](const QString &strSide) {
        for (qint64 k = boards(strSide) - 1; k >= 0; --k)
            lstPcb.removeAll(Place(strSide, k));
    };

    bool bChainDead = false;

    // First chain: the side with ID 2 runs into the side with ID 1.
    if (has(1)) {
        const QString s1 = side(1);
        const qint64 j1 = scan(s1);
        if (j1 >= 0) {
            if (j1 < boards(s1) - 1)
                appendK(Link(s1, j1, s1, j1 + 1));
        } else {
            bool bLive = false;
            if (has(2)) {
                const QString s2 = side(2);
                const qint64 j2 = scan(s2);
                if (j2 >= 0) {
                    bLive = true;
                    if (j2 == boards(s2) - 1)
                        appendK(Link(s2, j2, s1, 0));
                    else
                        appendK(Link(s2, j2, s2, j2 + 1));
                }
            }
            if (has(0))
                purge(side(0));
            bChainDead = !bLive;
        }
    }

    // Second chain: the side with ID 0 runs into the side with ID 3.
    if (!bChainDead) {
        if (!has(3)) {
            mapProblems[kPcbError] = lstPcb;
            return 0;
        }
        const QString s3 = side(3);
        const qint64 j3 = scan(s3);
        if (j3 >= 0) {
            if (j3 < boards(s3) - 1)
                appendK(Link(s3, j3, s3, j3 + 1));
            mapProblems[kPcbError] = lstPcb;
            return 0;
        }
        bool bLive = false;
        if (has(0)) {
            const QString s0 = side(0);
            const qint64 j0 = scan(s0);
            if (j0 >= 0) {
                bLive = true;
                if (j0 == boards(s0) - 1)
                    appendK(Link(s0, j0, s3, 0));
                else
                    appendK(Link(s0, j0, s0, j0 + 1));
            }
        }
        if (has(2))
            purge(side(2));
        if (bLive) {
            mapProblems[kPcbError] = lstPcb;
            return 0;
        }
    }

    // A whole chain is dead: no single board is to blame, the connections are.
    mapProblems.remove(kPcbError);
    if (has(0) && has(1) && has(2) && has(3)) {
        const QString s0 = side(0);
        const QString s1 = side(1);
        const QString s2 = side(2);
        const QString s3 = side(3);
        appendK(Link(s0, 0, s2, 0));
        QList<QString> &lstPro1 = mapProblems[kConnectorPro1];
        lstPro1.append(Link(s2, boards(s2) - 1, s1, 0));
        for (qint64 k = boards(QStringLiteral("Left")) - 2; k >= 0; --k)
            lstPro1.append(Link(s2, k, s2, k + 1));
        QList<QString> &lstPro2 = mapProblems[kConnectorPro2];
        lstPro2.append(Link(s0, boards(s0) - 1, s3, 0));
        for (qint64 k = boards(s0) - 2; k >= 0; --k)
            lstPro2.append(Link(s0, k, s0, k + 1));
    } else if (has(2) && has(3)) {
        appendK(Link(side(2), 0, side(3), 0));
    } else if (has(0) && has(1)) {
        appendK(Link(side(0), 0, side(1), 0));
    }
    return 0;
}

int32_t CTouchBase::GetErrors(ProblemMap &mapProblems, uint32_t *pFrameNumber)
{
    if (pFrameNumber)
        *pFrameNumber = m_nFrameNumber;
    if (mapProblems.isEmpty()) {
        CheckAllLightThresholds(mapProblems);
        if (mapProblems.isEmpty())
            return 0;
    }
    AnalyseSensorError(mapProblems);
    if (mapProblems.contains(kSensorError))
        AnalysePcbError(mapProblems);
    if (mapProblems.contains(kPcbError))
        AnalyseConnectorError(mapProblems);
    return 0;
}

int32_t CTouchBase::GetTestResultCode(QString &strCode, QString &strMessage)
{
    ProblemMap mapProblems;
    const int32_t r = GetErrors(mapProblems, nullptr);
    if (r != 0 || mapProblems.isEmpty())
        return r;

    const int nWeak = mapProblems.value(kSensorWeak).size();
    if (!mapProblems.value(kConnectorError).isEmpty()) {
        strCode = QStringLiteral("NG1");
        strMessage = tr("Some connectors are damaged or not connected properly!");
    } else if (!mapProblems.value(kPcbError).isEmpty()) {
        strCode = QStringLiteral("NG5");
        strMessage = tr("Some PCBAs are damaged!");
    } else if (!mapProblems.value(kSensorError).isEmpty()) {
        strCode = QStringLiteral("NG2");
        strMessage = tr("Some emitters or detectors are damaged!");
    } else if (static_cast<double>(nWeak) > 0.1 * static_cast<double>(m_hardwareInfo.GetTotalSensorCount())) {
        strCode = QStringLiteral("NG4");
        strMessage = tr("Some emitters or detectors weak, but The possible cause is the deformation of the machine!");
    } else if (nWeak > 0) {
        strCode = QStringLiteral("NG3");
        strMessage = tr("Some emitters or detectors are weak!");
    }
    return r;
}
