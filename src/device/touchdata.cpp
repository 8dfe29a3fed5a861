#include "touchdata.h"

void RegisterTouchDataMetaType()
{
    static const int nId = qRegisterMetaType<TouchData>("TouchData");
    Q_UNUSED(nId);
}
