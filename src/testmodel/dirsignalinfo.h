#pragma once

#include "signaltypeinfo.h"

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// One scanning direction ("T0", "T1", "T2") of one axis: its signal kinds, one
// label and one relation text per LED, and its weak-signal tolerance.
// Operations naming a kind create it when it is absent (getters too), so that
// it appears in the next saved log; FindType looks without creating.
class CDirSignalInfo
{
public:
    CDirSignalInfo() = default;

    QMap<QString, CSignalTypeInfo> &GetTypeMap() { return m_mapTypes; }
    const QMap<QString, CSignalTypeInfo> &GetTypeMap() const { return m_mapTypes; }
    // nullptr when the kind is absent; never creates it.
    const CSignalTypeInfo *FindType(const QString &strKind) const;

    QList<QString> &GetSignalRelations() { return m_lstRelations; }
    const QList<QString> &GetSignalRelations() const { return m_lstRelations; }
    QList<QString> &GetSignalLabels() { return m_lstLabels; }
    const QList<QString> &GetSignalLabels() const { return m_lstLabels; }
    int32_t AddSignalRelation(const QString &strRelation); // appends, 1
    int32_t AddSignalLabel(const QString &strLabel);       // appends, 1
    int32_t SetMaxTolerantSignalCount(uint32_t nCount);    // 1
    uint32_t GetMaxTolerantSignalCount() const { return m_nMaxTolerantSignalCount; }
    // Kinds, in key order, whose show text equals their own name.
    QList<QString> GetShownTypes() const;
    uint32_t GetRecordCount() const;
    int32_t ClearTestData();

    // Forwarding to the kind record (created when absent).
    int32_t SetTestStandard(const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex);
    int32_t AddTestStandard(const QString &strKind, uint32_t nLo, uint32_t nHi);
    int32_t SetProblemStandard(const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex);
    int32_t AddProblemStandard(const QString &strKind, uint32_t nLo, uint32_t nHi);
    int32_t SetStandardType(const QString &strKind, const QString &strType);
    QList<SignalRange> &GetTestStandards(const QString &strKind);
    QList<SignalRange> &GetProblemStandards(const QString &strKind);
    QString GetStandardType(const QString &strKind);
    int32_t SetBaseShow(const QString &strKind, const QString &strBase, const QString &strShow);
    QString GetShow(const QString &strKind);
    QString GetBase(const QString &strKind);
    int32_t AddTestData(const QString &strKind, const QList<uint32_t> &lstValues, uint32_t nFrame);
    int32_t GetTestData(const QString &strKind, QList<uint32_t> &lstOut, uint32_t nFrame);

    // Writes the whole <dir ID=nIndex name MaxTolerantSignalCount> element.
    bool WriteXml(QXmlStreamWriter &writer, const QString &strName, int32_t nIndex) const;
    // Writes the inside of the dir element: the kinds, then the labels.
    bool WriteTypes(QXmlStreamWriter &writer) const;
    // Reader on the "dir" start element; adds to what the record holds.
    // Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);
    // MaxTolerantSignalCount as read when it was no unsigned decimal number
    // (the count then kept as it was), as "MaxTolerantSignalCount: \"x\"";
    // empty when it was one. The numbers of the kinds are their own.
    const QString &GetUnreadableNumber() const { return m_unreadable.Text(); }

private:
    bool ReadSignalLabels(QXmlStreamReader &reader);

    QMap<QString, CSignalTypeInfo> m_mapTypes;
    QList<QString> m_lstRelations;
    QList<QString> m_lstLabels;
    uint32_t m_nMaxTolerantSignalCount = 0;
    CUnreadableNumber m_unreadable;
};
