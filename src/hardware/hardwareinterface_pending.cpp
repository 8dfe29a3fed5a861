// Temporary weak bodies of the signal-reading overrides until their real
// definitions land (the strong definitions replace these at link time).
#include "hardwareinterface.h"

#include "deviceerror.h"

__attribute__((weak)) int32_t HardwareInterface::ReadAxisSignal(const QString &, const QString &, const QString &,
                                                                SignalFrame &, uint32_t *)
{
    return ERROR_CODE_NULL_DEVICE;
}
__attribute__((weak)) int32_t HardwareInterface::RecordSignal(const QString &, const SignalMap &, uint32_t)
{
    return 0;
}
__attribute__((weak)) int32_t HardwareInterface::ClearSignalData()
{
    return 0;
}
__attribute__((weak)) int32_t HardwareInterface::ReadSignal(const QString &, SignalMap &)
{
    return ERROR_CODE_NULL_DEVICE;
}
__attribute__((weak)) int32_t HardwareInterface::ReadReverseSignal(SignalMap &)
{
    return ERROR_CODE_NULL_DEVICE;
}
__attribute__((weak)) int32_t HardwareInterface::InitTestConfig()
{
    return ERROR_CODE_NULL_DEVICE;
}
