#pragma once

#include <QFont>
#include <QGraphicsTextItem>
#include <QRectF>
#include <QStaticText>
#include <QString>

// The label of a sensor in the panel diagram: its text, with the same text as
// tool tip, drawn as a small white box with the text centred in it. The box
// keeps its size on screen whatever the view's zoom.
class CGraphicsTextItem : public QGraphicsTextItem
{
    Q_OBJECT

public:
    CGraphicsTextItem(const QString &text, QGraphicsItem *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    // The last usable ratio of scene rectangle to painted viewport; kept while
    // either is empty (a view not yet laid out, an empty scene).
    double m_dLastSx = 1.0;
    double m_dLastSy = 1.0;
    // The box and the laid-out text, for the font and bounds they were made
    // for (a diagram paints hundreds of labels on every refresh).
    QRectF m_rcText;
    QRectF m_rcTextBounds;
    QFont m_textFont;
    QStaticText m_staticText;
};
