#include "xmlformat.h"

#include <QStringList>

namespace XmlFormat {

QString Num(double d)
{
    return QString::number(d, 'g', 6);
}

QString PosText(const QPointF &pos)
{
    return QString::asprintf("(%f, %f)", pos.x(), pos.y());
}

QPointF ParsePos(const QString &strText)
{
    QString strClean = strText;
    strClean.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
    const QStringList parts = strClean.split(QLatin1Char(','));
    return QPointF(parts.first().toDouble(), parts.last().toDouble());
}

} // namespace XmlFormat
