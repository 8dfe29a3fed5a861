#pragma once

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QRect>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <cstdint>

class CConnector;
class CHardwareInfo;
class CIRSensor;
class CPcbBoard;
class QGraphicsItem;
class QGraphicsLineItem;
class QGraphicsRectItem;

// The drawing of the frame under test: its boards with their sensors, the
// connectors between boards, the light paths between sensors and the open
// area, built once from a hardware record and recoloured from every problem
// map (fault key -> ids of the items at fault).
//
// Item ids: a board is "<side>:<n>" with n its place in the side's board
// list; a sensor "<side>:<n>" with n counted over all boards of the side; a
// connector the key of its record ("Bottom:0-Left:0"); a light path its
// relation text ("Bottom:3-Top:5").
//
// The view copies what it needs of the record (the items copy their own
// records, the view the interface direction) and never reads it again: the
// record may go while the view stays.
//
// A faulty sensor's label keeps its size on screen, so on a frame drawn small
// neighbouring labels would lie on one another: the view stacks them apart,
// in up to a few rows (or columns) toward the middle of the drawing, and
// where a side has no room left a label is left out (its sensor's tool tip
// still names it), sensors in error before weak ones. The labels are placed
// again whenever the faults or the view's transform change, and the light
// paths at fault leave the boxes of the labels shown free.
//
// Embedded, the drawing keeps its proportions and zooms with the wheel while
// Ctrl is held; a double click shows it full screen, stretched, and a second
// double click or Escape puts it back into its page. With the interface
// direction 0 the drawing is mirrored vertically, otherwise turned by 180°.
class CTouchPanelView : public QGraphicsView
{
    Q_OBJECT

public:
    CTouchPanelView(CHardwareInfo *pHardwareInfo, QWidget *parent = nullptr);
    ~CTouchPanelView() override;

    // Recolours every item from the map: keys "CONNECTOR_ERROR",
    // "CONNECTOR_ERROR_PRO1", "CONNECTOR_ERROR_PRO2", "PCB_ERROR",
    // "SENSOR_ERROR", "SENSOR_WEEK", "LIGHT_ERROR", "LIGHT_WEAK",
    // "LIGHT_UNSTABLE", the first of a kind winning. Items not listed return
    // to their sound look, paths not listed are hidden. nFrameNo is not read.
    // Returns true. Callable by name with one or two arguments, also queued
    // from another thread.
    Q_INVOKABLE bool UpdateTouchPanel(QMap<QString, QList<QString>> mapProblems, uint32_t *nFrameNo = nullptr);

    // What the diagram holds (the scene owns the items). The light paths draw
    // nothing themselves: one item, their parent, draws them all, and is told
    // to repaint by UpdateTouchPanel, the one place that changes them.
    const QMap<QString, QList<CIRSensor *>> &SensorItems() const { return m_mapSensorItems; }
    const QMap<QString, QList<CPcbBoard *>> &PcbItems() const { return m_mapPcbItems; }
    const QMap<QString, QGraphicsLineItem *> &LightItems() const { return m_mapLightItems; }
    const QMap<QString, CConnector *> &ConnectorItems() const { return m_mapConnectorItems; }
    QGraphicsRectItem *OpenAreaItem() const { return m_pOpenArea; }
    int32_t InterfaceDir() const { return m_nInterfaceDir; }
    double Scale() const { return m_dScale; }

    // Splits a relation text "<side>:<n>-<side>:<m>" at "-" into its first and
    // last part, and a part at ":" into its first piece (the side) and its
    // last piece (the number, 0 when it does not read as a decimal number).
    static void ParseRelationPart(const QString &strPart, QString *pstrSide, int *pnNumber);
    static void ParseRelation(const QString &strRelation, QString *pstrFirst, QString *pstrLast);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void BuildBoards(const CHardwareInfo &info);
    void BuildConnectors(const CHardwareInfo &info);
    void BuildLightPaths(const CHardwareInfo &info);
    void BuildOpenArea(const CHardwareInfo &info);
    // Fits the drawing into the view and orients it.
    void Fit();
    // The turn or mirror of the drawing on screen.
    QTransform Orientation() const;
    // Puts each sensor's label on the side of the sensor that faces the
    // middle of the drawing on screen.
    void PlaceLabels();
    // Lays the shown labels out on screen (LayOutLabels) when the faults, the
    // transform or the viewport changed since the last layout; a view not
    // shown is laid out when it shows.
    void RelayLabels();
    void LayOutLabels();
    // The size of a label's box for the text (few texts recur: kept).
    QSizeF LabelBoxSize(const QString &strText);
    // Shown on its own (full screen) rather than in its page.
    bool IsOwnWindow() const;
    // From full screen back into the page.
    void BackToPage();

    QGraphicsScene m_scene;
    double m_dScale = 1.0;
    int32_t m_nInterfaceDir = 0;
    QMap<QString, QList<CIRSensor *>> m_mapSensorItems;
    QMap<QString, QList<CPcbBoard *>> m_mapPcbItems;
    QMap<QString, QGraphicsLineItem *> m_mapLightItems;
    QMap<QString, CConnector *> m_mapConnectorItems;
    QGraphicsRectItem *m_pOpenArea = nullptr;
    // Draws the light paths (their parent); none without paths.
    QGraphicsItem *m_pLightPaths = nullptr;
    // The ids of the boards and sensors, side by side in item order, made once.
    QMap<QString, QVector<QString>> m_mapPcbIds;
    QMap<QString, QVector<QString>> m_mapSensorIds;
    // Where each sensor lies in the scene, side by side in item order.
    QMap<QString, QVector<QPointF>> m_mapSensorPositions;
    // What the labels were last laid out for.
    bool m_bLabelsDirty = true;
    QTransform m_labelTransform;
    QRect m_rcLabelViewport;
    QHash<QString, QSizeF> m_hashLabelSizes;
    // The fit of the last resize that had a drawing and a view to fit.
    double m_dFitX = 1.0;
    double m_dFitY = 1.0;
};
