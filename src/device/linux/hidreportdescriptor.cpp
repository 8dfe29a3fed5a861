#include "hidreportdescriptor.h"

#include <QString>

namespace {

constexpr int MAX_COLLECTION_DEPTH = 32;
constexpr int MAX_PUSH_DEPTH = 16;
// Bits of one report beyond which a descriptor is not believed.
constexpr uint64_t MAX_REPORT_BITS = uint64_t(1) << 24;

struct GlobalState
{
    uint32_t nUsagePage = 0;
    uint32_t nReportSize = 0;
    uint32_t nReportCount = 0;
    uint8_t nReportId = 0;
};

void AppendUnique(QVector<uint8_t> &list, uint8_t nId)
{
    if (!list.contains(nId))
        list.append(nId);
}

} // namespace

bool CHidReportDescriptor::Parse(const QByteArray &descriptor)
{
    m_collections.clear();
    m_reportBits.clear();
    m_bUsesReportIds = false;
    m_strError.clear();

    const auto *p = reinterpret_cast<const uint8_t *>(descriptor.constData());
    const int nSize = descriptor.size();
    GlobalState global;
    QVector<GlobalState> stack;
    int nDepth = 0;
    int nCurrent = -1; // index of the open top-level collection
    uint32_t nLocalUsage = 0;
    bool bHaveLocalUsage = false;

    int i = 0;
    while (i < nSize) {
        const uint8_t prefix = p[i];
        if (prefix == 0xFE) { // long item: size, tag, data
            if (i + 2 >= nSize) {
                m_strError = QStringLiteral("truncated long item at %1").arg(i);
                return false;
            }
            const int nLen = p[i + 1];
            if (i + 3 + nLen > nSize) {
                m_strError = QStringLiteral("truncated long item at %1").arg(i);
                return false;
            }
            i += 3 + nLen;
            continue;
        }
        const int nDataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        const int nType = (prefix >> 2) & 3;
        const int nTag = (prefix >> 4) & 0xF;
        if (i + 1 + nDataSize > nSize) {
            m_strError = QStringLiteral("truncated item at %1").arg(i);
            return false;
        }
        uint32_t data = 0;
        for (int b = 0; b < nDataSize; ++b)
            data |= uint32_t(p[i + 1 + b]) << (8 * b);
        i += 1 + nDataSize;

        if (nType == 0) { // main
            switch (nTag) {
            case 0x8:   // input
            case 0x9:   // output
            case 0xB: { // feature
                const ReportType type = nTag == 0x8 ? Input : (nTag == 0x9 ? Output : Feature);
                const uint64_t nBits = uint64_t(global.nReportSize) * global.nReportCount;
                const int nKey = (int(type) << 8) | global.nReportId;
                uint64_t &total = m_reportBits[nKey];
                total += nBits;
                if (total > MAX_REPORT_BITS) {
                    m_strError = QStringLiteral("report too long");
                    return false;
                }
                if (nCurrent >= 0) {
                    HidTopCollection &col = m_collections[nCurrent];
                    const bool bConstant = (data & 1) != 0;
                    if (type == Input) {
                        AppendUnique(col.inputIds, global.nReportId);
                        if (!bConstant && col.nFirstInputId < 0)
                            col.nFirstInputId = global.nReportId;
                    } else if (type == Output) {
                        AppendUnique(col.outputIds, global.nReportId);
                        if (!bConstant && col.nFirstOutputId < 0)
                            col.nFirstOutputId = global.nReportId;
                    } else {
                        AppendUnique(col.featureIds, global.nReportId);
                    }
                }
                break;
            }
            case 0xA: // collection
                if (nDepth >= MAX_COLLECTION_DEPTH) {
                    m_strError = QStringLiteral("collections nested too deep");
                    return false;
                }
                if (nDepth == 0) {
                    HidTopCollection col;
                    col.nUsagePage = global.nUsagePage;
                    col.nUsage = bHaveLocalUsage ? nLocalUsage : 0;
                    if (bHaveLocalUsage && (nLocalUsage >> 16) != 0) { // extended usage
                        col.nUsagePage = nLocalUsage >> 16;
                        col.nUsage = nLocalUsage & 0xFFFF;
                    }
                    col.nType = data;
                    m_collections.append(col);
                    nCurrent = m_collections.size() - 1;
                }
                ++nDepth;
                break;
            case 0xC: // end collection
                if (nDepth == 0) {
                    m_strError = QStringLiteral("end collection without collection at %1").arg(i);
                    return false;
                }
                if (--nDepth == 0)
                    nCurrent = -1;
                break;
            default:
                break;
            }
            bHaveLocalUsage = false; // local items end with every main item
            nLocalUsage = 0;
        } else if (nType == 1) { // global
            switch (nTag) {
            case 0x0:
                global.nUsagePage = data;
                break;
            case 0x7:
                global.nReportSize = data;
                break;
            case 0x8:
                if (data == 0 || data > 0xFF) {
                    m_strError = QStringLiteral("invalid report id %1").arg(data);
                    return false;
                }
                global.nReportId = static_cast<uint8_t>(data);
                m_bUsesReportIds = true;
                break;
            case 0x9:
                global.nReportCount = data;
                break;
            case 0xA: // push
                if (stack.size() >= MAX_PUSH_DEPTH) {
                    m_strError = QStringLiteral("push stack overflow");
                    return false;
                }
                stack.append(global);
                break;
            case 0xB: // pop
                if (stack.isEmpty()) {
                    m_strError = QStringLiteral("pop without push");
                    return false;
                }
                global = stack.takeLast();
                break;
            default:
                break;
            }
        } else if (nType == 2) { // local
            if (nTag == 0x0 && !bHaveLocalUsage) {
                nLocalUsage = nDataSize == 4 ? data : (data & 0xFFFF);
                bHaveLocalUsage = true;
            }
        }
    }
    if (nDepth != 0) {
        m_strError = QStringLiteral("unterminated collection");
        return false;
    }
    return true;
}

int CHidReportDescriptor::ReportLength(ReportType type, uint8_t nReportId) const
{
    const auto it = m_reportBits.constFind((int(type) << 8) | nReportId);
    if (it == m_reportBits.constEnd())
        return 0;
    return int((it.value() + 7) / 8) + (m_bUsesReportIds ? 1 : 0);
}
