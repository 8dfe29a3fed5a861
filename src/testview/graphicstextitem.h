#pragma once

#include <QFont>
#include <QGraphicsTextItem>
#include <QRectF>
#include <QString>

// The label of a sensor in the panel diagram: its text, with the same text as
// tool tip, drawn as red text in a small white box. Only its position follows
// its sensor, its board and the view; the label itself ignores their turns,
// mirrors and zoom (ItemIgnoresTransformations), so it reads upright and
// unmirrored and keeps its size on screen at any zoom. Its bounds are the box
// and its outline, in pixels from that position, on the side of it that
// SetSide names.
//
// The label is painted from its own copy of the text and font it was made
// with, without laying out a text document on every paint.
class CGraphicsTextItem : public QGraphicsTextItem
{
    Q_OBJECT

public:
    CGraphicsTextItem(const QString &text, QGraphicsItem *parent = nullptr);

    // What is painted: the text the label was made with, in its default text colour.
    const QString &Text() const { return m_strText; }
    QColor TextColor() const { return defaultTextColor(); }

    // The side of its position the box lies on, on screen: right of it or
    // left, below it or above. A label starts right of and below its position.
    void SetSide(bool bRight, bool bDown);
    bool Right() const { return m_bRight; }
    bool Down() const { return m_bDown; }

    // Pixels between the position and the box's nearer corner.
    static constexpr double kGap = 3.0;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    // The box for the text, font and side, in pixels from the position.
    QRectF Box() const;

    QString m_strText;
    QFont m_textFont;
    QSizeF m_boxSize;
    bool m_bRight = true;
    bool m_bDown = true;
};
