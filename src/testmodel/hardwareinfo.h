#pragma once

#include "connectorinfo.h"
#include "pcbinfo.h"
#include "unreadablenumber.h"

#include <QList>
#include <QMap>
#include <QRectF>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// How the frame under test is built (XML element "hardware_info"): the boards
// of each side in order along the side, the sides by ID, the connectors
// between boards, every light path (relation text "Bottom:3-Top:5") and the
// open area. A plain value type.
class CHardwareInfo
{
public:
    using PcbList = QList<CPcbInfo>;

    CHardwareInfo() = default;

    int32_t SetInterfaceType(int32_t nType); // returns 0
    int32_t SetInterfaceDir(int32_t nDir);   // returns 0
    int32_t GetInterfaceType() const { return m_nInterfaceType; }
    int32_t GetInterfaceDir() const { return m_nInterfaceDir; }
    int32_t SetOpenArea(double dWidth, double dHeight, double dX, double dY); // returns 1
    QRectF GetOpenArea() const { return m_rcOpenArea; }

    // The first side ID or relation sensor number read that was no unsigned
    // decimal number, as "axis \"Top\" ID: \"x\"" or "relation 3: \"Top:x\"";
    // empty when every one was. Such a side adds nothing, such a relation
    // reaches no sensor: read as 0, they would name faults the frame does not
    // have. The interface codes and the sensors' IDs judge nothing and read
    // 0 when they are no number.
    const QString &GetUnreadableNumber() const { return m_unreadable.Text(); }

    // side name -> boards of that side
    QMap<QString, PcbList> &GetAxisMap() { return m_mapBoards; }
    const QMap<QString, PcbList> &GetAxisMap() const { return m_mapBoards; }
    // side ID (0 Bottom, 1 Top, 2 Left, 3 Right in the program's layout) -> side name
    QMap<uint32_t, QString> &GetAxisIdMap() { return m_mapAxisNames; }
    const QMap<uint32_t, QString> &GetAxisIdMap() const { return m_mapAxisNames; }
    // key (e.g. "Bottom:0-Left:0") -> connector
    QMap<QString, CConnectorInfo> &GetConnectorMap() { return m_mapConnectors; }
    const QMap<QString, CConnectorInfo> &GetConnectorMap() const { return m_mapConnectors; }
    // connectors[strKey] = connector (replacing an entry with that key); returns 1.
    int32_t AddConnector(const QString &strKey, const CConnectorInfo &connector);
    // every text given to ParseRelation, in order
    const QList<QString> &GetSensorRelations() const { return m_lstSensorRelations; }

    // boards[name] = lstBoards and axisNames[nID] = name, replacing earlier ones. Returns 1.
    int32_t SetAxis(uint32_t nID, const QString &strName, const PcbList &lstBoards);
    // "Bottom:15-Left:0": adds the text to sensor 15 of Bottom and sensor 0 of
    // Left (counted over all boards of the side); always appended to the
    // relation list. A sensor number that is no unsigned decimal number gives
    // the text to no sensor and is noted. Returns 1.
    int32_t ParseRelation(const QString &strRelation);
    // Adds strRelation to sensor n of the side (counted over its boards).
    // Returns 1 when a sensor took it, 0 when the side is absent or n is outside it.
    int32_t AddRelation(const QString &strAxis, int32_t n, const QString &strRelation);
    // Sum of the LED counts of the side's boards; 0 for an absent side.
    uint32_t GetSensorCount(const QString &strAxis) const;
    // LED count of board n of the side; 0 when absent.
    uint32_t GetPcbSensorCount(const QString &strAxis, int32_t n) const;
    // LED count over every board of every side.
    uint32_t GetTotalSensorCount() const;

    // Writes the whole "hardware_info" element, or nothing when there are no
    // relations, boards or connectors. Returns true when the writer is in error.
    bool WriteXml(QXmlStreamWriter &writer) const;
    // Reader on the "hardware_info" start element; adds to what the record
    // holds (read into a fresh record). Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

private:
    bool ReadAxis(QXmlStreamReader &reader);
    bool ReadLogic(QXmlStreamReader &reader);

    QMap<QString, PcbList> m_mapBoards;
    QMap<uint32_t, QString> m_mapAxisNames;
    QMap<QString, CConnectorInfo> m_mapConnectors;
    QList<QString> m_lstSensorRelations;
    int32_t m_nInterfaceType = 1;
    int32_t m_nInterfaceDir = 0;
    QRectF m_rcOpenArea;
    CUnreadableNumber m_unreadable;
};
