#include "touchpanelview.h"

#include "connector.h"
#include "diagramvalue.h"
#include "hardwareinfo.h"
#include "irsensor.h"
#include "pcbboard.h"

#include <QBrush>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QKeyEvent>
#include <QPen>
#include <QSet>
#include <QStringList>
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
    // worked out again over every item each time a label moves.
    m_scene.setSceneRect(m_scene.itemsBoundingRect());
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
        QVector<QString> &vecSensorIds = m_mapSensorIds[strSide];
        vecSensorIds.reserve(lstSensors.size());
        for (int i = 0; i < lstSensors.size(); ++i)
            vecSensorIds.append(Id(strSide, i));
    }
    const auto itBottom = m_mapPcbItems.constFind(kBottom);
    if (itBottom != m_mapPcbItems.cend() && !itBottom->isEmpty())
        itBottom->first()->ShowUsb(true);
}

void CTouchPanelView::BuildConnectors(const CHardwareInfo &info)
{
    const QMap<QString, CConnectorInfo> &mapConnectors = info.GetConnectorMap();
    for (auto it = mapConnectors.cbegin(); it != mapConnectors.cend(); ++it) {
        QString strFirst, strLast, strSideA, strSideB;
        int a = 0, b = 0;
        ParseRelation(it.key(), &strFirst, &strLast);
        ParseRelationPart(strFirst, &strSideA, &a);
        ParseRelationPart(strLast, &strSideB, &b);
        // A connector between boards that the record does not hold gets no item.
        if (a < 0 || b < 0 || a >= m_mapPcbItems.value(strSideA).size() || b >= m_mapPcbItems.value(strSideB).size())
            continue;
        auto *pConnector = new CConnector(&it.value(), m_dScale, nullptr);
        m_mapConnectorItems.insert(it.key(), pConnector);
        m_scene.addItem(pConnector);
    }
}

void CTouchPanelView::BuildLightPaths(const CHardwareInfo &info)
{
    // Where each sensor lies now, side by side.
    QMap<QString, QVector<QPointF>> mapPositions;
    for (auto it = m_mapSensorItems.cbegin(); it != m_mapSensorItems.cend(); ++it) {
        QVector<QPointF> &vec = mapPositions[it.key()];
        vec.reserve(it->size());
        for (const CIRSensor *pSensor : *it)
            vec.append(pSensor->scenePos());
    }

    const QPen pen(QBrush(Qt::black), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    const QVector<QPointF> none;
    for (const QString &strRelation : info.GetSensorRelations()) {
        // One line per path: a text listed twice (two directions ending on
        // the same pair of sensors) names the same line.
        if (m_mapLightItems.contains(strRelation))
            continue;
        QString strFirst, strLast, strSideA, strSideB;
        int a = 0, b = 0;
        ParseRelation(strRelation, &strFirst, &strLast);
        ParseRelationPart(strFirst, &strSideA, &a);
        ParseRelationPart(strLast, &strSideB, &b);
        const auto itA = mapPositions.constFind(strSideA);
        const auto itB = mapPositions.constFind(strSideB);
        const QVector<QPointF> &vecA = itA != mapPositions.cend() ? *itA : none;
        const QVector<QPointF> &vecB = itB != mapPositions.cend() ? *itB : none;
        if (a < 0 || b < 0 || a >= vecA.size() || b >= vecB.size())
            continue;
        auto *pLine = new QGraphicsLineItem(QLineF(vecA.at(a), vecB.at(b)));
        m_mapLightItems.insert(strRelation, pLine);
        m_scene.addItem(pLine);
        pLine->setPen(pen);
        pLine->setVisible(false);
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

void CTouchPanelView::ParseRelation(const QString &strRelation, QString *pstrFirst, QString *pstrLast)
{
    const QStringList parts = strRelation.split(QLatin1Char('-'));
    *pstrFirst = parts.first();
    *pstrLast = parts.last();
}

void CTouchPanelView::ParseRelationPart(const QString &strPart, QString *pstrSide, int *pnNumber)
{
    const QStringList pieces = strPart.split(QLatin1Char(':'));
    *pstrSide = pieces.first();
    bool bOk = false;
    const int n = pieces.last().toInt(&bOk, 10);
    *pnNumber = bOk ? n : 0;
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
            it->at(i)->SetState(strState, true);
        }
    }

    const QSet<QString> setLightError = IdSet(problems, kLightError);
    const QSet<QString> setLightWeak = IdSet(problems, kLightWeak);
    const QSet<QString> setLightUnstable = IdSet(problems, kLightUnstable);
    for (auto it = m_mapLightItems.cbegin(); it != m_mapLightItems.cend(); ++it) {
        const QString &strId = it.key();
        QGraphicsLineItem *pLine = it.value();
        Qt::GlobalColor color;
        if (setLightError.contains(strId))
            color = Qt::red;
        else if (setLightWeak.contains(strId))
            color = Qt::yellow;
        else if (setLightUnstable.contains(strId))
            color = Qt::gray;
        else {
            pLine->setVisible(false);
            continue;
        }
        QPen pen = pLine->pen();
        pen.setColor(color);
        pLine->setPen(pen);
        pLine->setVisible(true);
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
    QTransform oriented = transform();
    oriented.rotate(180, m_nInterfaceDir != 0 ? Qt::ZAxis : Qt::XAxis);
    setTransform(oriented);
}

void CTouchPanelView::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    Fit();
}

void CTouchPanelView::wheelEvent(QWheelEvent *event)
{
    // Zoom only while Ctrl is held in the embedded view; otherwise the wheel
    // does nothing at all (no scrolling either).
    if (dragMode() != QGraphicsView::ScrollHandDrag)
        return;
    const double dFactor = std::pow(1.2, event->angleDelta().y() / 240.0);
    scale(dFactor, dFactor);
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
