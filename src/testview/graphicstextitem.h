#pragma once

#include <QColor>
#include <QFont>
#include <QGraphicsTextItem>
#include <QRectF>
#include <QStaticText>
#include <QString>

// The label of a sensor in the panel diagram: its text, with the same text as
// tool tip, drawn as red text in a small white box. Only its position follows
// its sensor, its board and the view; the label itself ignores their turns,
// mirrors and zoom (ItemIgnoresTransformations), so it reads upright and
// unmirrored and keeps its size on screen at any zoom. Its bounds are the box
// and its outline, in pixels from that position, on the side of it that
// SetSide names, moved by SetOffset.
//
// The label paints its own text, laid out once, in its own colour: it never
// makes the text document of its base (a document and its text control cost
// more than the rest of a sensor, and a frame at fault shows thousands of
// labels), so toPlainText() and defaultTextColor() of the base say nothing of
// it; Text() and TextColor() do. Without a text control the base's handling
// of input has nothing to work on: the label takes no input at all (mouse,
// hover, keys, drops), which goes to the items under it; its tool tip is the
// scene's, and stays.
class CGraphicsTextItem : public QGraphicsTextItem
{
    Q_OBJECT

public:
    CGraphicsTextItem(const QString &text, QGraphicsItem *parent = nullptr);

    // What is painted: the text the label was made with, in its colour
    // (black until set).
    QString Text() const { return m_staticText.text(); }
    QColor TextColor() const { return m_textColor; }
    void SetTextColor(const QColor &color);

    // The side of its position the box lies on, on screen: right of it or
    // left, below it or above. A label starts right of and below its position.
    void SetSide(bool bRight, bool bDown);
    bool Right() const { return m_bRight; }
    bool Down() const { return m_bDown; }

    // Moves the box by a number of pixels on screen from where its side puts
    // it (neighbouring labels stacked apart); none at first.
    void SetOffset(const QPointF &ptOffset);
    QPointF Offset() const { return m_ptOffset; }

    // Pixels between the position and the box's nearer corner.
    static constexpr double kGap = 3.0;

    // The size of the box a label of the text has in the font, and the
    // bounds (box and outline) of a box of that size on a side with an
    // offset: what boundingRect() of such a label gives, without making one.
    static QSizeF BoxSize(const QString &text, const QFont &font);
    static QRectF Bounds(const QSizeF &boxSize, bool bRight, bool bDown, const QPointF &ptOffset);

    // The font the text is laid out and painted in (the application's).
    QFont TextFont() const { return m_textFont; }

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    // No event reaches the base, whose handlers expect a text control.
    bool sceneEvent(QEvent *event) override;

private:
    // The box for the text and side, in pixels from the position.
    QRectF Box() const;
    static QRectF BoxAt(const QSizeF &boxSize, bool bRight, bool bDown, const QPointF &ptOffset);
    static QSizeF BoxSizeOf(const QString &text, const QFont &font, const QStaticText &prepared);

    QColor m_textColor = Qt::black;
    QFont m_textFont;
    QStaticText m_staticText;
    QSizeF m_boxSize;
    QPointF m_ptOffset;
    bool m_bRight = true;
    bool m_bDown = true;
};
