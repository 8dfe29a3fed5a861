#include "calibratemessage.h"

#include "deviceinfokey.h"

QString CCalibrateMessage::HexText(int32_t nValue)
{
    return QString::number(uint32_t(nValue), 16);
}

QJsonObject CCalibrateMessage::DeviceForm(const QList<QPair<QString, QString>>& lstProperty,
                                          int32_t nLX, int32_t nLY, int32_t nRX, int32_t nRY)
{
    QJsonObject device;
    for (const QPair<QString, QString>& item : lstProperty) {
        if (item.first == DeviceInfoKey::kProduct) {
            device.insert(DeviceInfoKey::kProduct, item.second);
            break;
        }
    }
    QJsonObject calData;
    calData.insert(QStringLiteral("LX"), HexText(nLX));
    calData.insert(QStringLiteral("LY"), HexText(nLY));
    calData.insert(QStringLiteral("RX"), HexText(nRX));
    calData.insert(QStringLiteral("RY"), HexText(nRY));
    device.insert(QStringLiteral("calData"), calData);

    QJsonObject msg;
    msg.insert(QStringLiteral("device"), device);
    msg.insert(QStringLiteral("usb"), true);
    return msg;
}

QJsonObject CCalibrateMessage::StepForm(int nStep)
{
    QJsonObject msg;
    msg.insert(QStringLiteral("step"), nStep);
    return msg;
}

QJsonObject CCalibrateMessage::ResultForm(int32_t nResult)
{
    QJsonObject msg;
    msg.insert(QStringLiteral("funcResult"), HexText(nResult));
    return msg;
}
