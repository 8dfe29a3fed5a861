#include "stationresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside of any namespace.
static void InitResourcesOnce()
{
    Q_INIT_RESOURCE(station);
    Q_INIT_RESOURCE(language);
}

void InitStationResources()
{
    static const bool bDone = (InitResourcesOnce(), true);
    Q_UNUSED(bDone);
}
