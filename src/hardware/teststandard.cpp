#include "teststandard.h"

#include "axissignalinfo.h"

#include <QStringList>

bool CTestStandard::ParseUnsigned(const QString &strText, uint32_t *pValue)
{
    bool bOk = false;
    const uint v = strText.toUInt(&bOk, 10);
    if (bOk && pValue)
        *pValue = v;
    return bOk;
}

CTestStandard CTestStandard::Parse(const QString &strValue)
{
    CTestStandard std;
    const QStringList parts = strValue.split(QLatin1Char('-'));
    auto type = [&std](const QString &strType) {
        if (strType == QLatin1String("Absolute") || strType == QLatin1String("Percent"))
            std.strType = strType;
    };
    if (parts.size() >= 2) {
        uint32_t lo, hi;
        if (ParseUnsigned(parts[0], &lo) && ParseUnsigned(parts[1], &hi)) {
            std.bTest = true;
            std.nLo = lo;
            std.nHi = hi;
        }
    }
    if (parts.size() == 3)
        type(parts[2]);
    if (parts.size() >= 4) {
        uint32_t lo, hi;
        if (ParseUnsigned(parts[2], &lo) && ParseUnsigned(parts[3], &hi)) {
            std.bProblem = true;
            std.nProblemLo = lo;
            std.nProblemHi = hi;
        }
    }
    if (parts.size() >= 5)
        type(parts[4]);
    return std;
}

bool CTestStandard::ApplyLimitKey(QMap<QString, CAxisSignalInfo> &mapAxis, const QString &strKey,
                                  const QString &strValue)
{
    const QStringList parts = strKey.split(QLatin1Char('-'));
    if (parts.size() != 3)
        return false;
    auto it = mapAxis.find(parts[0]);
    if (it == mapAxis.end())
        return false;
    CAxisSignalInfo &axis = it.value();
    const QString &strDir = parts[1];
    const QString &strKind = parts[2];
    if (strKind == QLatin1String("TOL")) {
        uint32_t n;
        if (ParseUnsigned(strValue.section(QLatin1Char('-'), 0, 0), &n))
            axis.SetMaxTolerantSignalCount(strDir, n);
        return true;
    }
    const CTestStandard std = Parse(strValue);
    if (std.bTest)
        axis.SetTestStandard(strDir, strKind, std.nLo, std.nHi, -1);
    if (std.bProblem)
        axis.SetProblemStandard(strDir, strKind, std.nProblemLo, std.nProblemHi, -1);
    if (!std.strType.isEmpty())
        axis.SetStandardType(strDir, strKind, std.strType);
    return true;
}
