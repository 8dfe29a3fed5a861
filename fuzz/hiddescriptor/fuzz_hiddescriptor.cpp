// Report descriptors come from the device: parse and classify any bytes.

#include "hidreportdescriptor.h"
#include "touchdevice.h"
#include "touchdeviceforos.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool bInit = [] {
        CTouchDevice::InitSupportedVidPidList();
        return true;
    }();
    (void)bInit;
    const QByteArray descriptor(reinterpret_cast<const char *>(data), int(size));
    CHidReportDescriptor parser;
    if (parser.Parse(descriptor)) {
        for (const HidTopCollection &col : parser.Collections()) {
            for (uint8_t id : col.inputIds)
                (void)parser.ReportLength(CHidReportDescriptor::Input, id);
        }
    }
    HidNodeInfo node;
    node.nVid = 0x2FE9;
    node.nPid = 0x0001;
    node.baReportDescriptor = descriptor;
    (void)CTouchDeviceForOS::CheckIdentifiableDevice(node);
    return 0;
}
