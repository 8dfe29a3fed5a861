#include "stationmetatypes.h"

#include "touchdata.h"
#include "worktype.h"

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <cstdint>

void RegisterStationMetaTypes()
{
    qRegisterMetaType<int32_t>("int32_t");
    qRegisterMetaType<uint32_t*>("uint32_t*");
    RegisterTouchDataMetaType();
    qRegisterMetaType<QList<uint32_t>>("QList<uint32_t>");
    qRegisterMetaType<QList<QString>>("QList<QString>");
    qRegisterMetaType<QMap<QString, QString>>("QMap<QString, QString>");
    qRegisterMetaType<QMap<QString, QList<QString>>>("QMap<QString, QList<QString>>");
    qRegisterMetaType<QList<QPair<QString, QString>>>("QList<QPair<QString, QString>>");
    qRegisterMetaType<eWorkType>("eWorkType");
    qRegisterMetaType<QPointer<QObject>>("QPointer<QObject>");
}
