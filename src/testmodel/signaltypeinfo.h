#pragma once

#include "signalrange.h"
#include "unreadablenumber.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// One signal kind ("REVERSE", "ADC", "AGC", "UNT") of one direction of one
// axis: its windows (one per zone of the axis), its recorded frames and its
// display texts. A plain value type.
class CSignalTypeInfo
{
public:
    CSignalTypeInfo() = default;

    int32_t SetStandardType(const QString &strType);                   // 1
    int32_t SetBaseShow(const QString &strBase, const QString &strShow); // 1
    QString GetStandardType() const { return m_strStandardType; }
    QString GetBase() const { return m_strBase; }
    QString GetShow() const { return m_strShow; }

    QList<SignalRange> &GetTestStandards() { return m_lstTestStandards; }
    const QList<SignalRange> &GetTestStandards() const { return m_lstTestStandards; }
    QList<SignalRange> &GetProblemStandards() { return m_lstProblemStandards; }
    const QList<SignalRange> &GetProblemStandards() const { return m_lstProblemStandards; }
    int32_t AddTestStandard(uint32_t nLo, uint32_t nHi);    // appends, 1
    int32_t AddProblemStandard(uint32_t nLo, uint32_t nHi); // appends, 1
    // nIndex < 0: every range becomes (lo, hi), 1 (also for an empty list);
    // 0 <= nIndex < count: that range, 1; nIndex >= count: 0, nothing changes.
    int32_t SetTestStandard(uint32_t nLo, uint32_t nHi, int32_t nIndex);
    int32_t SetProblemStandard(uint32_t nLo, uint32_t nHi, int32_t nIndex);

    // testData[nFrame] = values (replacing), testTimes[nFrame] = now. Returns 1.
    int32_t AddTestData(const QList<uint32_t> &lstValues, uint32_t nFrame);
    // Absent frame: 0 and lstOut untouched; else lstOut = values, their count.
    int32_t GetTestData(QList<uint32_t> &lstOut, uint32_t nFrame) const;
    // Largest stored frame number, 0 when none.
    uint32_t GetRecordCount() const;
    // Empties frames and times; windows and texts stay. Returns 1.
    int32_t ClearTestData();
    const QMap<uint32_t, QList<uint32_t>> &GetTestDataMap() const { return m_mapTestData; }
    const QMap<uint32_t, QDateTime> &GetTestTimes() const { return m_mapTestTimes; }

    // Writes <type name ID=nIndex base show standardType> with its windows and
    // frames. Returns true when the writer is in error.
    bool WriteXml(QXmlStreamWriter &writer, const QString &strName, int32_t nIndex) const;
    // Reader on the "type" start element; adds to what the record holds.
    // Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

    // The first number a reading met that is no unsigned decimal number (a
    // recorded value, a frame number or a window's bound), as
    // "frame 2, position 0: \"abc\""; empty when every one was. Such a
    // number is not stored as any value: the log that holds it is refused.
    const QString &GetUnreadableNumber() const { return m_unreadable.Text(); }

    // "%04d-%04d" of a window, unsigned: (5, 120) -> "0005-0120".
    static QString RangeText(const SignalRange &range);

private:
    bool ReadRanges(QXmlStreamReader &reader, QList<SignalRange> &lstRanges, const QString &strElement);
    bool ReadData(QXmlStreamReader &reader);

    QList<SignalRange> m_lstProblemStandards;
    QList<SignalRange> m_lstTestStandards;
    QMap<uint32_t, QList<uint32_t>> m_mapTestData;
    QMap<uint32_t, QDateTime> m_mapTestTimes;
    QString m_strStandardType;
    QString m_strBase;
    QString m_strShow;
    CUnreadableNumber m_unreadable;
};
