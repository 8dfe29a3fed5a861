#pragma once

#include <QPointF>
#include <QString>

// Number and position texts shared by the records of the test log. Every
// function works in the C locale, whatever the station's language.
namespace XmlFormat {

// Six significant digits in the shorter of fixed and exponent notation: 5.2, 7.28, 1e+06.
QString Num(double d);
// "(%f, %f)": (12.500000, 3.000000).
QString PosText(const QPointF &pos);
// Every "(" and ")" removed, split at ","; x = first part, y = last part;
// a part that is no number reads as 0.
QPointF ParsePos(const QString &strText);

} // namespace XmlFormat
