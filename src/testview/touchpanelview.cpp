#include "touchpanelview.h"

#include "connector.h"
#include "diagramvalue.h"
#include "graphicstextitem.h"
#include "hardwareinfo.h"
#include "irsensor.h"
#include "pcbboard.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QHash>
#include <QImage>
#include <QStyleOptionGraphicsItem>
#include <QtMath>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>
#include <QSet>
#include <QStringView>
#include <QTransform>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

const QString kOk = QStringLiteral("OK");
const QString kConnectorError = QStringLiteral("CONNECTOR_ERROR");
const QString kConnectorPro1 = QStringLiteral("CONNECTOR_ERROR_PRO1");
const QString kConnectorPro2 = QStringLiteral("CONNECTOR_ERROR_PRO2");
const QString kPcbError = QStringLiteral("PCB_ERROR");
const QString kSensorError = QStringLiteral("SENSOR_ERROR");
const QString kSensorWeak = QStringLiteral("SENSOR_WEEK");
const QString kLightError = QStringLiteral("LIGHT_ERROR");
const QString kLightWeak = QStringLiteral("LIGHT_WEAK");
const QString kLightUnstable = QStringLiteral("LIGHT_UNSTABLE");
const QString kBottom = QStringLiteral("Bottom");

// The ids listed under one fault key, for lookups by hash (an absent key is
// an empty list). A map listing every item of a large frame would otherwise
// cost millions of string comparisons per call.
QSet<QString> IdSet(const QMap<QString, QList<QString>> &mapProblems, const QString &strKey)
{
    const auto it = mapProblems.constFind(strKey);
    if (it == mapProblems.cend())
        return QSet<QString>();
    return QSet<QString>(it->cbegin(), it->cend());
}

QString Id(const QString &strSide, int n)
{
    return strSide + QLatin1Char(':') + QString::number(n);
}

// The pen of a light path: one pen per colour, shared by every path drawn in it.
QPen LightPen(Qt::GlobalColor color)
{
    return QPen(QBrush(color), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// ParseRelation and ParseRelationPart in place, without copies: a record may
// hold hundreds of thousands of relation texts.
void SplitRelation(const QStringRef &relation, QStringRef *pFirst, QStringRef *pLast)
{
    const int nFirst = relation.indexOf(QLatin1Char('-'));
    const int nLast = relation.lastIndexOf(QLatin1Char('-'));
    *pFirst = nFirst < 0 ? relation : relation.left(nFirst);
    *pLast = nLast < 0 ? relation : relation.mid(nLast + 1);
}

void SplitRelationPart(const QStringRef &part, QStringRef *pSide, int *pnNumber)
{
    const int nFirst = part.indexOf(QLatin1Char(':'));
    const int nLast = part.lastIndexOf(QLatin1Char(':'));
    *pSide = nFirst < 0 ? part : part.left(nFirst);
    bool bOk = false;
    const int n = (nLast < 0 ? part : part.mid(nLast + 1)).toInt(&bOk, 10);
    *pnNumber = bOk ? n : 0;
}

// Both ends of a relation text: sides and numbers.
void SplitRelationEnds(const QString &strRelation, QStringRef *pSideA, int *pnA, QStringRef *pSideB, int *pnB)
{
    QStringRef first, last;
    SplitRelation(QStringRef(&strRelation), &first, &last);
    SplitRelationPart(first, pSideA, pnA);
    SplitRelationPart(last, pSideB, pnB);
}

// Draws the light paths, its children, in one pass. A record may hold
// hundreds of thousands of paths: drawn one item at a time, each would cost
// the scene a saved and restored painter state and a stroker of its own, and
// a diagram with every path at fault would take seconds to paint. The paths
// keep their own pen, line and visibility; they are drawn here, in the order
// they were added, so the picture is what they would draw themselves.
class CLightPathsItem : public QGraphicsItem
{
public:
    // A path added as a child that draws nothing itself; all of them before
    // this item goes into the scene (its bounds are not announced as changing).
    void AddPath(QGraphicsLineItem *pLine)
    {
        Q_ASSERT(!scene());
        pLine->setFlag(QGraphicsItem::ItemHasNoContents);
        pLine->setParentItem(this);
        m_vecPaths.append(pLine);
        m_rcBounds |= pLine->boundingRect();
    }

    QRectF boundingRect() const override { return m_rcBounds; }

    // The labels shown: the paths leave their boxes free, so that a label
    // (drawn with its sensor, below the paths) can be read where paths at
    // fault run over it.
    void SetLabels(QVector<const QGraphicsItem *> vecLabels) { m_vecLabels = std::move(vecLabels); }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *) override
    {
        // The lines are drawn into an image of the part of the device that
        // shows them, under a plain rectangular clip, and the image is laid
        // on the device pixel for pixel. Stroked straight onto the widget,
        // under its clip (its visible region, often not a rectangle) or
        // none, the 1-pixel lines go pixel by pixel through the slow paths
        // of the raster engine: a diagram of a frame at the log limits'
        // maxima with every path at fault took over a second to paint.
        // The image's painter has the same device transform, moved by whole
        // pixels, so the lines fall on the same pixels in the same colours.
        const QTransform device = painter->deviceTransform();
        QPaintDevice *pDevice = painter->device();
        const qreal dRatio = pDevice ? pDevice->devicePixelRatioF() : 1.0;
        QRect rcDevice = device.mapRect(option ? option->exposedRect : boundingRect()).toAlignedRect().adjusted(-1, -1, 1, 1);
        if (pDevice)
            rcDevice &= QRect(0, 0, qCeil(pDevice->width() * dRatio), qCeil(pDevice->height() * dRatio));
        if (rcDevice.isEmpty())
            return;
        QImage image(rcDevice.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter paths(&image);
            paths.setRenderHints(painter->renderHints());
            // Without a clip of its own the raster engine strokes the lines
            // about thirty times slower than clipped to the image, for the
            // same pixels.
            paths.setClipRect(QRect(QPoint(0, 0), rcDevice.size()));
            paths.setTransform(device * QTransform::fromTranslate(-rcDevice.x(), -rcDevice.y()));
            DrawPaths(&paths);
            paths.resetTransform();
            paths.setCompositionMode(QPainter::CompositionMode_Clear);
            for (const QGraphicsItem *pLabel : qAsConst(m_vecLabels)) {
                if (!pLabel->isVisible())
                    continue;
                const QRectF rcLabel = pLabel->deviceTransform(device).mapRect(pLabel->boundingRect());
                paths.fillRect(rcLabel.translated(-rcDevice.topLeft()), Qt::transparent);
            }
        }
        // Back to device pixels: undo the world transform, keep whatever
        // the device adds below it.
        painter->save();
        const QTransform below = painter->worldTransform().inverted() * device;
        painter->setWorldTransform(below.inverted());
        painter->drawImage(rcDevice.topLeft(), image);
        painter->restore();
    }

private:
    // The visible paths, in runs of one pen.
    void DrawPaths(QPainter *painter) const
    {
        QVector<QLineF> vecRun;
        QPen pen;
        const auto flush = [&] {
            if (vecRun.isEmpty())
                return;
            painter->setPen(pen);
            painter->drawLines(vecRun);
            vecRun.clear();
        };
        for (const QGraphicsLineItem *pLine : qAsConst(m_vecPaths)) {
            if (!pLine->isVisible())
                continue;
            const QPen penLine = pLine->pen();
            if (penLine != pen) {
                flush();
                pen = penLine;
            }
            vecRun.append(pLine->line());
        }
        flush();
    }

    QVector<QGraphicsLineItem *> m_vecPaths;
    QVector<const QGraphicsItem *> m_vecLabels;
    QRectF m_rcBounds;
};

// Labels on screen: pixels kept free between neighbours, the most rows (or
// columns) a side stacks toward the middle of the drawing, and the share of
// the view's height (or width) they may take from the side.
constexpr double kLabelSpacing = 1.0;
constexpr int kMaxLabelLanes = 4;
constexpr double kLabelDepthShare = 0.25;

// The label boxes placed so far, filed by the cells of a coarse grid over
// the viewport that they cover: a frame at fault may show thousands of them.
class CPlacedLabels
{
public:
    explicit CPlacedLabels(const QRect &rcArea)
        : m_rcArea(rcArea), m_nColumns(std::max(1, rcArea.width() / kCell + 1)),
          m_nRows(std::max(1, rcArea.height() / kCell + 1)), m_vecCells(m_nColumns * m_nRows)
    {
    }

    // No box placed comes nearer than the spacing.
    bool Free(const QRectF &rcBox) const
    {
        const QRectF rcNear = rcBox.adjusted(-kLabelSpacing, -kLabelSpacing, kLabelSpacing, kLabelSpacing);
        bool bFree = true;
        ForCells(rcNear, [&](int nCell) {
            for (const int i : m_vecCells.at(nCell)) {
                if (m_vecBoxes.at(i).intersects(rcNear)) {
                    bFree = false;
                    return false;
                }
            }
            return true;
        });
        return bFree;
    }

    void Add(const QRectF &rcBox)
    {
        const int nIndex = m_vecBoxes.size();
        m_vecBoxes.append(rcBox);
        ForCells(rcBox, [&](int nCell) {
            m_vecCells[nCell].append(nIndex);
            return true;
        });
    }

private:
    static constexpr int kCell = 32;

    template <typename F>
    void ForCells(const QRectF &rc, F &&f) const
    {
        const int x0 = std::clamp(int(std::floor((rc.left() - m_rcArea.left()) / kCell)), 0, m_nColumns - 1);
        const int x1 = std::clamp(int(std::floor((rc.right() - m_rcArea.left()) / kCell)), 0, m_nColumns - 1);
        const int y0 = std::clamp(int(std::floor((rc.top() - m_rcArea.top()) / kCell)), 0, m_nRows - 1);
        const int y1 = std::clamp(int(std::floor((rc.bottom() - m_rcArea.top()) / kCell)), 0, m_nRows - 1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (!f(y * m_nColumns + x))
                    return;
    }

    QRect m_rcArea;
    int m_nColumns;
    int m_nRows;
    QVector<QVector<int>> m_vecCells;
    QVector<QRectF> m_vecBoxes;
};

} // namespace

CTouchPanelView::CTouchPanelView(CHardwareInfo *pHardwareInfo, QWidget *parent) : QGraphicsView(parent)
{
    // The drawing is static and painted whole; light paths run across the
    // frame, so a spatial index would file each of them under most of its
    // cells and cost more than it saves.
    m_scene.setItemIndexMethod(QGraphicsScene::NoIndex);
    setScene(&m_scene);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(2, 2, 2, 2);

    const CHardwareInfo empty;
    const CHardwareInfo &info = pHardwareInfo ? *pHardwareInfo : empty;
    m_nInterfaceDir = info.GetInterfaceDir();
    BuildBoards(info);
    BuildConnectors(info);
    BuildLightPaths(info);
    BuildOpenArea(info);
    // The scene rectangle is what the items cover now. Held fixed, it is not
    // worked out again over every item each time a label shows, and a label
    // (its size on screen fixed) plays no part in the fit.
    m_scene.setSceneRect(m_scene.itemsBoundingRect());
    PlaceLabels();
    // The scene finishes adding the items (its "polish" round) at once rather
    // than on its next event: until then every item removed would be looked
    // for in its list of new items, one by one, which makes a diagram of a
    // record at the log limits' maxima take minutes to go.
    QMetaObject::invokeMethod(&m_scene, "_q_polishItems", Qt::DirectConnection);
}

CTouchPanelView::~CTouchPanelView()
{
    // The scene goes before the view's base: detach it first.
    setScene(nullptr);
}

void CTouchPanelView::BuildBoards(const CHardwareInfo &info)
{
    const QMap<QString, CHardwareInfo::PcbList> &mapBoards = info.GetAxisMap();
    for (auto it = mapBoards.cbegin(); it != mapBoards.cend(); ++it) {
        const QString &strSide = it.key();
        QList<CPcbBoard *> &lstBoards = m_mapPcbItems[strSide];
        QList<CIRSensor *> &lstSensors = m_mapSensorItems[strSide];
        QVector<QString> &vecPcbIds = m_mapPcbIds[strSide];
        for (const CPcbInfo &pcb : *it) {
            auto *pBoard = new CPcbBoard(&pcb, m_dScale, nullptr);
            vecPcbIds.append(Id(strSide, lstBoards.size()));
            lstBoards.append(pBoard);
            m_scene.addItem(pBoard);
            lstSensors.append(pBoard->GetSensors());
        }
        for (CIRSensor *pSensor : qAsConst(lstSensors))
            pSensor->SetLabelLaidOut(true);
        QVector<QString> &vecSensorIds = m_mapSensorIds[strSide];
        QVector<QPointF> &vecPositions = m_mapSensorPositions[strSide];
        vecSensorIds.reserve(lstSensors.size());
        vecPositions.reserve(lstSensors.size());
        for (int i = 0; i < lstSensors.size(); ++i) {
            vecSensorIds.append(Id(strSide, i));
            vecPositions.append(lstSensors.at(i)->scenePos());
        }
    }
    const auto itBottom = m_mapPcbItems.constFind(kBottom);
    if (itBottom != m_mapPcbItems.cend() && !itBottom->isEmpty())
        itBottom->first()->ShowUsb(true);
}

void CTouchPanelView::BuildConnectors(const CHardwareInfo &info)
{
    const QMap<QString, CConnectorInfo> &mapConnectors = info.GetConnectorMap();
    for (auto it = mapConnectors.cbegin(); it != mapConnectors.cend(); ++it) {
        QStringRef sideA, sideB;
        int a = 0, b = 0;
        SplitRelationEnds(it.key(), &sideA, &a, &sideB, &b);
        // A connector between boards that the record does not hold gets no item.
        if (a < 0 || b < 0 || a >= m_mapPcbItems.value(sideA.toString()).size() ||
            b >= m_mapPcbItems.value(sideB.toString()).size())
            continue;
        auto *pConnector = new CConnector(&it.value(), m_dScale, nullptr);
        m_mapConnectorItems.insert(it.key(), pConnector);
        m_scene.addItem(pConnector);
    }
}

void CTouchPanelView::BuildLightPaths(const CHardwareInfo &info)
{
    // Where each sensor lies, side by side, looked up by the side's name as
    // it stands in the relation text.
    QHash<QStringView, const QVector<QPointF> *> hashPositions;
    for (auto it = m_mapSensorPositions.cbegin(); it != m_mapSensorPositions.cend(); ++it)
        hashPositions.insert(QStringView(it.key()), &it.value());

    const QPen pen = LightPen(Qt::black);
    const QVector<QPointF> none;
    // Made with the first path: a record without paths adds no item.
    CLightPathsItem *pPaths = nullptr;
    for (const QString &strRelation : info.GetSensorRelations()) {
        // One line per path: a text listed twice (two directions ending on
        // the same pair of sensors) names the same line.
        if (m_mapLightItems.contains(strRelation))
            continue;
        QStringRef sideA, sideB;
        int a = 0, b = 0;
        SplitRelationEnds(strRelation, &sideA, &a, &sideB, &b);
        const QVector<QPointF> &vecA = *hashPositions.value(QStringView(sideA), &none);
        const QVector<QPointF> &vecB = *hashPositions.value(QStringView(sideB), &none);
        if (a < 0 || b < 0 || a >= vecA.size() || b >= vecB.size())
            continue;
        if (!pPaths) {
            pPaths = new CLightPathsItem();
            // Its paint is told the part of it to repaint.
            pPaths->setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
        }
        auto *pLine = new QGraphicsLineItem(QLineF(vecA.at(a), vecB.at(b)));
        pLine->setPen(pen);
        pLine->setVisible(false);
        m_mapLightItems.insert(strRelation, pLine);
        pPaths->AddPath(pLine);
    }
    if (pPaths) {
        m_scene.addItem(pPaths);
        m_pLightPaths = pPaths;
    }
}

void CTouchPanelView::BuildOpenArea(const CHardwareInfo &info)
{
    // The record holds the open area as the layout sets it,
    // SetOpenArea(x0, y1, y0, x1): x0 in width(), y1 in height(), y0 in x()
    // and x1 in y().
    using DiagramValue::Scaled;
    const QRectF rcStored = info.GetOpenArea();
    const QPointF pt0(Scaled(rcStored.width(), m_dScale), Scaled(rcStored.x(), m_dScale));
    const QPointF pt1(Scaled(rcStored.y(), m_dScale), Scaled(rcStored.height(), m_dScale));
    m_pOpenArea = m_scene.addRect(QRectF(pt0, pt1).normalized());
    m_pOpenArea->setBrush(QBrush(Qt::darkGray, Qt::SolidPattern));
    m_pOpenArea->setZValue(-1);
}

QTransform CTouchPanelView::Orientation() const
{
    QTransform orientation;
    orientation.rotate(180, m_nInterfaceDir != 0 ? Qt::ZAxis : Qt::XAxis);
    return orientation;
}

void CTouchPanelView::PlaceLabels()
{
    // A label keeps its size on screen, so on a frame drawn small it is far
    // larger than its sensor, and the boards lie on the border of the
    // drawing: each label lies on the side of its sensor that faces the
    // middle of the drawing, on screen (the view turns or mirrors the
    // drawing, and only ever scales it by positive factors besides).
    const QPointF ptMiddle = m_scene.sceneRect().center();
    const QTransform orientation = Orientation();
    for (const QList<CIRSensor *> &lstSensors : qAsConst(m_mapSensorItems))
        for (CIRSensor *pSensor : lstSensors) {
            const QPointF ptInward = orientation.map(ptMiddle - pSensor->scenePos());
            pSensor->SetLabelSide(!(ptInward.x() < 0.0), !(ptInward.y() < 0.0));
        }
}

void CTouchPanelView::RelayLabels()
{
    // Hidden (another page, or not shown yet), the view has no screen to lay
    // the labels out on: they are laid out when it shows.
    if (!isVisible())
        return;
    const QTransform toView = viewportTransform();
    const QRect rcViewport = viewport()->rect();
    if (!m_bLabelsDirty && toView == m_labelTransform && rcViewport == m_rcLabelViewport)
        return;
    m_bLabelsDirty = false;
    m_labelTransform = toView;
    m_rcLabelViewport = rcViewport;
    LayOutLabels();
}

void CTouchPanelView::LayOutLabels()
{
    // Along a side the sensors may lie a pixel apart on screen, their labels
    // many pixels wide: a side's labels go into rows (a level side) or
    // columns (an upright one) that step toward the middle of the drawing,
    // each label into the first row where it keeps clear of every label
    // placed before it, moved along the side to stay inside the view. The
    // labels of sensors in error are placed first, so a weak sensor never
    // takes their room; a label that finds none, or whose sensor is out of
    // sight, stays hidden.
    struct SLabel
    {
        CIRSensor *pSensor;
        QPointF ptAnchor; // the sensor, in viewport pixels
        QRectF rcBox;     // at its own place
        double dRun;  // along its side
        int nSide;
        bool bLevel;
        double dStep; // from one row (or column) to the next
    };
    QVector<SLabel> vecLabels;
    int nSide = 0;
    for (auto it = m_mapSensorItems.cbegin(); it != m_mapSensorItems.cend(); ++it, ++nSide) {
        const QList<CIRSensor *> &lstSensors = *it;
        const QVector<QPointF> &vecPositions = m_mapSensorPositions[it.key()];
        // The extent of the side on screen: wider than high, it is level.
        double x0 = 0.0, x1 = 0.0, y0 = 0.0, y1 = 0.0;
        QVector<int> vecWanted;
        for (int i = 0; i < lstSensors.size(); ++i) {
            const QPointF pt = m_labelTransform.map(vecPositions.at(i));
            x0 = i == 0 ? pt.x() : std::min(x0, pt.x());
            x1 = i == 0 ? pt.x() : std::max(x1, pt.x());
            y0 = i == 0 ? pt.y() : std::min(y0, pt.y());
            y1 = i == 0 ? pt.y() : std::max(y1, pt.y());
            if (lstSensors.at(i)->LabelWanted())
                vecWanted.append(i);
        }
        if (vecWanted.isEmpty())
            continue;
        const bool bLevel = x1 - x0 >= y1 - y0;
        const int nFirst = vecLabels.size();
        double dStep = 0.0;
        for (const int i : qAsConst(vecWanted)) {
            CIRSensor *pSensor = lstSensors.at(i);
            const QPointF ptAnchor = m_labelTransform.map(vecPositions.at(i));
            const QRectF rcBox = CGraphicsTextItem::Bounds(LabelBoxSize(pSensor->Info().GetID()),
                                                           pSensor->LabelRight(), pSensor->LabelDown(), ptAnchor);
            dStep = std::max(dStep, (bLevel ? rcBox.height() : rcBox.width()) + kLabelSpacing);
            vecLabels.append({pSensor, ptAnchor, rcBox, bLevel ? ptAnchor.x() : ptAnchor.y(), nSide, bLevel, 0.0});
        }
        for (int i = nFirst; i < vecLabels.size(); ++i)
            vecLabels[i].dStep = dStep;
    }
    std::stable_sort(vecLabels.begin(), vecLabels.end(), [](const SLabel &a, const SLabel &b) {
        if (a.pSensor->FaultLevel() != b.pSensor->FaultLevel())
            return a.pSensor->FaultLevel() > b.pSensor->FaultLevel();
        if (a.nSide != b.nSide)
            return a.nSide < b.nSide;
        return a.dRun < b.dRun;
    });

    const QRectF rcView(m_rcLabelViewport);
    CPlacedLabels placed(m_rcLabelViewport);
    QVector<const QGraphicsItem *> vecShown;
    for (const SLabel &label : qAsConst(vecLabels)) {
        const double dInward = (label.bLevel ? label.pSensor->LabelDown() : label.pSensor->LabelRight()) ? 1.0 : -1.0;
        const double dDepth = label.bLevel ? label.rcBox.height() : label.rcBox.width();
        const double dMaxDepth =
            std::max(dDepth, kLabelDepthShare * (label.bLevel ? rcView.height() : rcView.width()));
        // A sensor out of sight (the drawing zoomed) shows no label: moved
        // into the view, it would stand beside sensors it does not name.
        bool bPlaced = false;
        const bool bInSight = rcView.adjusted(-1.0, -1.0, 1.0, 1.0).contains(label.ptAnchor);
        for (int nLane = 0; bInSight && nLane < kMaxLabelLanes && !bPlaced; ++nLane) {
            if (nLane > 0 && nLane * label.dStep + dDepth > dMaxDepth)
                break;
            QPointF ptOffset = label.bLevel ? QPointF(0.0, dInward * nLane * label.dStep)
                                            : QPointF(dInward * nLane * label.dStep, 0.0);
            QRectF rcBox = label.rcBox.translated(ptOffset);
            // Along the side, inside the view.
            double dShift = 0.0;
            if (label.bLevel) {
                if (rcBox.right() > rcView.right())
                    dShift = rcView.right() - rcBox.right();
                if (rcBox.left() + dShift < rcView.left())
                    dShift = rcView.left() - rcBox.left();
                ptOffset.rx() += dShift;
                rcBox.translate(dShift, 0.0);
            } else {
                if (rcBox.bottom() > rcView.bottom())
                    dShift = rcView.bottom() - rcBox.bottom();
                if (rcBox.top() + dShift < rcView.top())
                    dShift = rcView.top() - rcBox.top();
                ptOffset.ry() += dShift;
                rcBox.translate(0.0, dShift);
            }
            if (!rcView.contains(rcBox) || !placed.Free(rcBox))
                continue;
            placed.Add(rcBox);
            label.pSensor->PlaceLabel(true, ptOffset);
            vecShown.append(label.pSensor->Label());
            bPlaced = true;
        }
        if (!bPlaced)
            label.pSensor->PlaceLabel(false);
    }
    if (m_pLightPaths)
        static_cast<CLightPathsItem *>(m_pLightPaths)->SetLabels(std::move(vecShown));
}

QSizeF CTouchPanelView::LabelBoxSize(const QString &strText)
{
    auto it = m_hashLabelSizes.find(strText);
    if (it == m_hashLabelSizes.end())
        it = m_hashLabelSizes.insert(strText, CGraphicsTextItem::BoxSize(strText, QFont()));
    return it.value();
}

void CTouchPanelView::ParseRelation(const QString &strRelation, QString *pstrFirst, QString *pstrLast)
{
    QStringRef first, last;
    SplitRelation(QStringRef(&strRelation), &first, &last);
    *pstrFirst = first.toString();
    *pstrLast = last.toString();
}

void CTouchPanelView::ParseRelationPart(const QString &strPart, QString *pstrSide, int *pnNumber)
{
    QStringRef side;
    SplitRelationPart(QStringRef(&strPart), &side, pnNumber);
    *pstrSide = side.toString();
}

bool CTouchPanelView::UpdateTouchPanel(QMap<QString, QList<QString>> mapProblems, uint32_t *)
{
    const QMap<QString, QList<QString>> &problems = mapProblems;

    const QSet<QString> setConnector = IdSet(problems, kConnectorError);
    const QSet<QString> setPro1 = IdSet(problems, kConnectorPro1);
    const QSet<QString> setPro2 = IdSet(problems, kConnectorPro2);
    for (auto it = m_mapConnectorItems.cbegin(); it != m_mapConnectorItems.cend(); ++it) {
        const QString &strId = it.key();
        const QString &strState = setConnector.contains(strId) ? kConnectorError
            : setPro1.contains(strId)                          ? kConnectorPro1
            : setPro2.contains(strId)                          ? kConnectorPro2
                                                               : kOk;
        it.value()->SetState(strState);
    }

    const QSet<QString> setPcb = IdSet(problems, kPcbError);
    for (auto it = m_mapPcbItems.cbegin(); it != m_mapPcbItems.cend(); ++it) {
        const QVector<QString> &vecIds = m_mapPcbIds[it.key()];
        for (int i = 0; i < it->size(); ++i)
            it->at(i)->SetState(setPcb.contains(vecIds.at(i)) ? kPcbError : kOk);
    }

    const QSet<QString> setSensorError = IdSet(problems, kSensorError);
    const QSet<QString> setSensorWeak = IdSet(problems, kSensorWeak);
    for (auto it = m_mapSensorItems.cbegin(); it != m_mapSensorItems.cend(); ++it) {
        const QVector<QString> &vecIds = m_mapSensorIds[it.key()];
        for (int i = 0; i < it->size(); ++i) {
            const QString &strId = vecIds.at(i);
            const QString &strState = setSensorError.contains(strId) ? kSensorError
                : setSensorWeak.contains(strId)                      ? kSensorWeak
                                                                     : kOk;
            CIRSensor *pSensor = it->at(i);
            const bool bWanted = pSensor->LabelWanted();
            const int nLevel = pSensor->FaultLevel();
            pSensor->SetState(strState, true);
            if (pSensor->LabelWanted() != bWanted || (bWanted && pSensor->FaultLevel() != nLevel))
                m_bLabelsDirty = true;
        }
    }
    RelayLabels();

    const QSet<QString> setLightError = IdSet(problems, kLightError);
    const QSet<QString> setLightWeak = IdSet(problems, kLightWeak);
    const QSet<QString> setLightUnstable = IdSet(problems, kLightUnstable);
    const QPen penError = LightPen(Qt::red);
    const QPen penWeak = LightPen(Qt::yellow);
    const QPen penUnstable = LightPen(Qt::gray);
    bool bPathsChanged = false;
    QRectF rcChanged;
    for (auto it = m_mapLightItems.cbegin(); it != m_mapLightItems.cend(); ++it) {
        const QString &strId = it.key();
        QGraphicsLineItem *pLine = it.value();
        const QPen *pPen = setLightError.contains(strId)      ? &penError
                           : setLightWeak.contains(strId)     ? &penWeak
                           : setLightUnstable.contains(strId) ? &penUnstable
                                                              : nullptr;
        const bool bChanged = pPen ? !pLine->isVisible() || pLine->pen() != *pPen : pLine->isVisible();
        if (!bChanged)
            continue;
        rcChanged |= QRectF(pLine->line().p1(), pLine->line().p2()).normalized();
        bPathsChanged = true;
        if (pPen)
            pLine->setPen(*pPen);
        pLine->setVisible(pPen != nullptr);
    }
    // The paths draw nothing themselves: the item that draws them repaints
    // where a path looks different now. A level or upright path alone spans
    // a rectangle without area, which an item would not repaint at all: then
    // the whole item repaints.
    if (m_pLightPaths && bPathsChanged) {
        if (rcChanged.isEmpty())
            m_pLightPaths->update();
        else
            m_pLightPaths->update(rcChanged);
    }
    return true;
}

void CTouchPanelView::Fit()
{
    double sx = 0.0, sy = 0.0;
    if (isFullScreen()) {
        const QRectF rcScene = scene() ? scene()->sceneRect() : QRectF();
        sx = width() / rcScene.width();
        sy = height() / rcScene.height();
    } else {
        const QRectF rcScene = sceneRect();
        sx = sy = std::min(viewport()->width() / rcScene.width(), viewport()->height() / rcScene.height());
    }
    // An empty drawing or a view not laid out yet keeps the last fit.
    if (std::isfinite(sx) && std::isfinite(sy) && sx > 0.0 && sy > 0.0) {
        m_dFitX = sx;
        m_dFitY = sy;
    }
    setTransform(QTransform::fromScale(m_dFitX, m_dFitY));
    setTransform(Orientation() * transform());
}

void CTouchPanelView::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    Fit();
    RelayLabels();
}

void CTouchPanelView::showEvent(QShowEvent *event)
{
    QGraphicsView::showEvent(event);
    RelayLabels();
}

void CTouchPanelView::scrollContentsBy(int dx, int dy)
{
    QGraphicsView::scrollContentsBy(dx, dy);
    RelayLabels();
}

void CTouchPanelView::wheelEvent(QWheelEvent *event)
{
    // Zoom only while Ctrl is held in the embedded view; otherwise the wheel
    // does nothing at all (no scrolling either).
    if (dragMode() != QGraphicsView::ScrollHandDrag)
        return;
    const double dFactor = std::pow(1.2, event->angleDelta().y() / 240.0);
    scale(dFactor, dFactor);
    RelayLabels();
    event->accept();
}

bool CTouchPanelView::IsOwnWindow() const
{
    // A view without a parent is always a window: there only full screen counts.
    return parentWidget() ? windowType() == Qt::Window : isFullScreen();
}

void CTouchPanelView::BackToPage()
{
    if (parentWidget())
        setWindowFlags(windowFlags() & ~Qt::Window);
    showNormal();
}

void CTouchPanelView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control && !isFullScreen())
        setDragMode(QGraphicsView::ScrollHandDrag);
    else if (event->key() == Qt::Key_Escape && IsOwnWindow())
        BackToPage();
    QGraphicsView::keyPressEvent(event);
}

void CTouchPanelView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        setDragMode(QGraphicsView::NoDrag);
    QGraphicsView::keyReleaseEvent(event);
}

void CTouchPanelView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (IsOwnWindow()) {
        BackToPage();
    } else {
        if (parentWidget())
            setWindowFlags(windowFlags() | Qt::Window);
        showFullScreen();
    }
    QGraphicsView::mouseDoubleClickEvent(event);
}
