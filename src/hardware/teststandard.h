#pragma once

#include <QMap>
#include <QString>
#include <cstdint>

class CAxisSignalInfo;

// The per-product limits of the parameter table, in the form the table writes
// them: a value "lo-hi", "lo-hi-Type", "lo-hi-plo-phi" or "lo-hi-plo-phi-Type"
// for a key "<axis>-<dir>-<kind>", and a plain count for "<axis>-<dir>-TOL".
// Limits are in the units of the frames' signal values.
class CTestStandard
{
public:
    bool bTest = false; // lo and hi parsed
    uint32_t nLo = 0;
    uint32_t nHi = 0;
    bool bProblem = false; // plo and phi parsed
    uint32_t nProblemLo = 0;
    uint32_t nProblemHi = 0;
    QString strType; // "Absolute", "Percent" or empty

    // Parses a limit list; a pair counts only when both of its numbers parse,
    // a type only when it is "Absolute" or "Percent".
    static CTestStandard Parse(const QString &strValue);

    // An unsigned decimal number.
    static bool ParseUnsigned(const QString &strText, uint32_t *pValue);

    // Applies one key of a table row when it is a limit key of an axis of the
    // map ("X-T1-ADC", "Y-T0-TOL"); returns false for every other key, which
    // is then ignored. Ranges are replaced, never added: a direction or kind
    // without ranges stays without.
    static bool ApplyLimitKey(QMap<QString, CAxisSignalInfo> &mapAxis, const QString &strKey, const QString &strValue);
};
