#include "pcbboard.h"

#include "diagramvalue.h"
#include "irsensor.h"

#include <QBrush>
#include <QColor>
#include <QGraphicsPixmapItem>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>

using DiagramValue::Scaled;

namespace {

const QColor kBoardGreen(34, 139, 34, 255);

} // namespace

CPcbBoard::CPcbBoard(const CPcbInfo *info, double scale, QGraphicsItem *parent)
    : QGraphicsPolygonItem(parent), m_dScale(DiagramValue::Finite(scale)), m_info(info ? *info : CPcbInfo())
{
    setPos(Scaled(m_info.GetPos(), m_dScale));
    setRotation(DiagramValue::Finite(m_info.GetAngle()));
    setBrush(QBrush(kBoardGreen, Qt::SolidPattern));
    setPen(QPen(QBrush(Qt::black), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    setToolTip(m_info.GetID());

    const QList<CSensorInfo> &lstLeds = m_info.GetLeds();
    m_lstSensors.reserve(lstLeds.size());
    for (const CSensorInfo &led : lstLeds)
        m_lstSensors.append(new CIRSensor(&led, m_dScale, this));

    const double W = Scaled(m_info.GetLength(), m_dScale);
    const double H = m_info.GetPlacement() == 1 ? Scaled(m_info.GetWidth(), m_dScale)
                                                : Scaled(m_info.GetHeight(), m_dScale);
    QPolygonF polygon;
    polygon << QPointF(-W / 2.0, -H / 2.0) << QPointF(-W / 2.0, H / 2.0) << QPointF(W / 2.0, H / 2.0)
            << QPointF(W / 2.0, -H / 2.0) << QPointF(-W / 2.0, -H / 2.0);
    setPolygon(polygon);
    m_rcBounds = QRectF(-W / 2.0, -H / 2.0, W, H).normalized();
}

bool CPcbBoard::SetState(const QString &state)
{
    if (state == QLatin1String("PCB_ERROR"))
        setBrush(QBrush(QColor(QStringLiteral("red")), Qt::SolidPattern));
    else
        setBrush(QBrush(kBoardGreen, Qt::SolidPattern));
    return true;
}

void CPcbBoard::ShowUsb(bool show)
{
    if (!show)
        return;
    auto *pUsb = new QGraphicsPixmapItem(QPixmap(QStringLiteral(":/Image/Usb.png")), this);
    pUsb->setScale(m_dScale);
    QTransform mirror = pUsb->transform();
    mirror.rotate(180, Qt::XAxis);
    pUsb->setTransform(mirror);
    // The x offset is the board's height, not its width.
    const QRectF rcBoard = boundingRect();
    pUsb->setPos(rcBoard.left() + rcBoard.height(), rcBoard.bottom() + pUsb->boundingRect().height());
    pUsb->setZValue(1000);
}

QRectF CPcbBoard::boundingRect() const
{
    return m_rcBounds;
}

QPainterPath CPcbBoard::shape() const
{
    return QGraphicsPolygonItem::shape();
}
