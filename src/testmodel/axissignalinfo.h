#pragma once

#include "dirsignalinfo.h"

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// The signal record of one axis ("X", "Y"): LED count, zones, value ceiling
// and its directions. Operations naming a direction or kind create it when it
// is absent (getters too), except SetTestStandard and SetProblemStandard,
// which return 0 for an absent direction. FindDir looks without creating.
class CAxisSignalInfo
{
public:
    CAxisSignalInfo() = default;

    int32_t SetSignalStart(uint32_t n) { m_nSignalStart = n; return 1; }
    int32_t SetMaxSignal(uint32_t n) { m_nMaxSignal = n; return 1; }
    int32_t SetMaxValue(uint32_t n) { m_nMaxValue = n; return 1; }
    uint32_t GetSignalStart() const { return m_nSignalStart; }
    uint32_t GetMaxSignal() const { return m_nMaxSignal; }
    uint32_t GetMaxValue() const { return m_nMaxValue; }
    // Zone ends (inclusive LED indices); the last zone ends at maxSignal-1.
    int32_t SetDivide(const QList<uint32_t> &lstDivide);
    QList<uint32_t> &GetDivide() { return m_lstDivide; }
    const QList<uint32_t> &GetDivide() const { return m_lstDivide; }
    // "9-19"; "" for an empty list.
    QString GetDivideText() const;
    // The first divide part read that was no unsigned decimal number (the
    // list then kept as it was), as "divide, part 1: \"x\""; empty when every
    // one was. The numbers of the directions are their own.
    const QString &GetUnreadableNumber() const { return m_unreadable.Text(); }
    QMap<QString, CDirSignalInfo> &GetDirMap() { return m_mapDirs; }
    const QMap<QString, CDirSignalInfo> &GetDirMap() const { return m_mapDirs; }
    // nullptr when the direction is absent; never creates it.
    const CDirSignalInfo *FindDir(const QString &strDir) const;
    int32_t ClearTestData();
    uint32_t GetRecordCount() const;

    // By direction (created when absent).
    int32_t SetMaxTolerantSignalCount(const QString &strDir, uint32_t nCount);
    uint32_t GetMaxTolerantSignalCount(const QString &strDir);
    int32_t AddSignalRelation(const QString &strDir, const QString &strRelation);
    int32_t AddSignalLabel(const QString &strDir, const QString &strLabel);
    QList<QString> GetSignalRelations(const QString &strDir);
    QList<QString> GetSignalLabels(const QString &strDir);

    // By direction and kind (created when absent; the two Set...Standard
    // return 0 and create nothing when the direction is absent).
    int32_t SetTestStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex);
    int32_t AddTestStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi);
    int32_t SetProblemStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex);
    int32_t AddProblemStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi);
    int32_t SetStandardType(const QString &strDir, const QString &strKind, const QString &strType);
    QList<SignalRange> GetTestStandards(const QString &strDir, const QString &strKind);
    QList<SignalRange> GetProblemStandards(const QString &strDir, const QString &strKind);
    int32_t SetBaseShow(const QString &strDir, const QString &strKind, const QString &strBase, const QString &strShow);
    QString GetShow(const QString &strDir, const QString &strKind);
    QString GetBase(const QString &strDir, const QString &strKind);
    QString GetStandardType(const QString &strDir, const QString &strKind);
    int32_t AddTestData(const QString &strDir, const QString &strKind, const QList<uint32_t> &lstValues, uint32_t nFrame);
    int32_t GetTestData(const QString &strDir, const QString &strKind, QList<uint32_t> &lstOut, uint32_t nFrame);

    // Writes the inside of the "axis" element of the test section (its dirs).
    // Returns true when the writer is in error.
    bool WriteDirs(QXmlStreamWriter &writer) const;
    // Reader on the "axis" start element of the test section: its attributes
    // maxSignal, maxValue, signalStart, divide and its dirs. Adds to what the
    // record holds. Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

private:
    uint32_t m_nSignalStart = 0;
    uint32_t m_nMaxSignal = 0;
    uint32_t m_nMaxValue = 0;
    QList<uint32_t> m_lstDivide;
    QMap<QString, CDirSignalInfo> m_mapDirs;
    CUnreadableNumber m_unreadable;
};
