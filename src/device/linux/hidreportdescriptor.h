#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QVector>
#include <cstdint>

// One top-level collection of a HID report descriptor with the report ids
// its main items use, in order of appearance.
struct HidTopCollection
{
    uint32_t nUsagePage = 0;
    uint32_t nUsage = 0;
    uint32_t nType = 0;            // collection type (1 = application)
    QVector<uint8_t> inputIds;     // every input report id, unique, in order
    QVector<uint8_t> outputIds;
    QVector<uint8_t> featureIds;
    int nFirstInputId = -1;        // id of the first data (non-constant) input item
    int nFirstOutputId = -1;       // id of the first data output item
};

// A bounded parser of HID report descriptors (HID 1.11, 6.2.2): short and
// long items, global state with push and pop, nested collections. Hostile
// input ends the parse with an error, never a crash.
class CHidReportDescriptor
{
public:
    enum ReportType { Input = 0, Output = 1, Feature = 2 };

    // The longest descriptor the kernel keeps (HID_MAX_DESCRIPTOR_SIZE).
    static constexpr int MAX_SIZE = 4096;

    // Parses the whole descriptor. False when it is malformed (truncated
    // item, unbalanced push/pop or collections, too deep); what was read up
    // to that point stays available.
    bool Parse(const QByteArray &descriptor);

    QList<HidTopCollection> Collections() const { return m_collections; }
    bool UsesReportIds() const { return m_bUsesReportIds; }
    // Length in bytes of a report as read or written through hidraw,
    // report id byte included when ids are used; 0 for an unknown report.
    int ReportLength(ReportType type, uint8_t nReportId) const;
    QString Error() const { return m_strError; }

private:
    QList<HidTopCollection> m_collections;
    QMap<int, uint64_t> m_reportBits; // key: type << 8 | id
    bool m_bUsesReportIds = false;
    QString m_strError;
};
