#pragma once

#include "pcbinfo.h"

#include <QGraphicsPolygonItem>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class CIRSensor;

// One circuit board in the panel diagram: a rectangle centred on the board's
// position and turned by its angle, with its sensors as child items. A
// "Lying" board shows its length × width, a "Standing" one length × height.
class CPcbBoard : public QGraphicsPolygonItem
{
public:
    CPcbBoard(const CPcbInfo *info, double scale, QGraphicsItem *parent = nullptr);

    // "PCB_ERROR": red; any other text: the board's green. Returns true.
    bool SetState(const QString &state);
    QList<CIRSensor *> GetSensors() const { return m_lstSensors; }
    // Adds the USB plug picture below the board (true); false does nothing.
    void ShowUsb(bool show);

    QRectF boundingRect() const override;
    QPainterPath shape() const override;

    const CPcbInfo &Info() const { return m_info; }

private:
    double m_dScale;
    CPcbInfo m_info;
    QList<CIRSensor *> m_lstSensors;
    QRectF m_rcBounds;
};
