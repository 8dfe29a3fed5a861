#pragma once

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

// The calibration message that the dispatcher sends to the calibration view,
// one JSON object in one of three forms:
//   device form  {"device": {"Product": text, "calData": {"LX", "LY", "RX", "RY"}}, "usb": true}
//                ("Product" only when the information list has one; the four
//                values as lower-case hexadecimal texts without prefix or
//                leading zeros);
//   step form    {"step": n}  (1 to 5 the next target; after the check 6 accepted,
//                7 deviation too large);
//   result form  {"funcResult": the result read as an unsigned 32-bit number,
//                in lower-case hexadecimal without prefix or leading zeros}.
class CCalibrateMessage
{
public:
    static QJsonObject DeviceForm(const QList<QPair<QString, QString>>& lstProperty, int32_t nLX,
                                  int32_t nLY, int32_t nRX, int32_t nRY);
    static QJsonObject StepForm(int nStep);
    static QJsonObject ResultForm(int32_t nResult);
    // 255 -> "ff", 0 -> "0", -2145058816 -> "80250000".
    static QString HexText(int32_t nValue);
};
