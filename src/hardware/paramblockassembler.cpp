#include "paramblockassembler.h"

#include "panelgeometry.h"

#include <cstring>

void CParamBlockAssembler::Reset()
{
    *this = CParamBlockAssembler();
}

CParamBlockAssembler::EState CParamBlockAssembler::AddData(const quint8 *pData, int nSize)
{
    int i = 0;
    while (m_eState == Collecting && i < nSize) {
        if (m_nTableBytes < 0) {
            // Block first; once it is in, the marker says whether an extension follows.
            const int nWant = (m_nHeaderSize ? m_nHeaderSize : CPanelGeometry::ParamBlockSize) - m_block.size();
            const int nTake = qMin(nWant, nSize - i);
            m_block.append(reinterpret_cast<const char *>(pData + i), nTake);
            i += nTake;
            if (m_nHeaderSize == 0 && m_block.size() == CPanelGeometry::ParamBlockSize) {
                const quint8 *p = reinterpret_cast<const quint8 *>(m_block.constData()) + CPanelGeometry::OffMarker;
                const quint32 uMarker = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
                m_nHeaderSize = CPanelGeometry::ParamBlockSize
                    + (uMarker == CPanelGeometry::ParamBlockNoExtMarker ? 0 : CPanelGeometry::ParamBlockExtSize);
            }
            if (m_nHeaderSize != 0 && m_block.size() == m_nHeaderSize)
                OnHeaderComplete();
        } else {
            const int nTake = qMin(m_nTableBytes - m_tableBytes.size(), nSize - i);
            m_tableBytes.append(reinterpret_cast<const char *>(pData + i), nTake);
            i += nTake;
            if (m_tableBytes.size() == m_nTableBytes) {
                m_table.resize(m_nTableBytes / 4);
                const quint8 *p = reinterpret_cast<const quint8 *>(m_tableBytes.constData());
                for (int k = 0; k < m_table.size(); ++k) {
                    const quint32 u = quint32(p[4 * k]) | quint32(p[4 * k + 1]) << 8 | quint32(p[4 * k + 2]) << 16
                        | quint32(p[4 * k + 3]) << 24;
                    std::memcpy(&m_table[k], &u, sizeof(float));
                }
                m_tableBytes.clear();
                m_eState = Complete;
            }
        }
    }
    return m_eState;
}

void CParamBlockAssembler::OnHeaderComplete()
{
    const quint8 *p = reinterpret_cast<const quint8 *>(m_block.constData());
    const int nX = qint16(quint16(p[CPanelGeometry::OffXTotal]) | quint16(p[CPanelGeometry::OffXTotal + 1]) << 8);
    const int nY = qint16(quint16(p[CPanelGeometry::OffYTotal]) | quint16(p[CPanelGeometry::OffYTotal + 1]) << 8);
    if (nX < 0 || nX > CPanelGeometry::MaxLedsPerAxis || nY < 0 || nY > CPanelGeometry::MaxLedsPerAxis) {
        m_strError = QStringLiteral("parameter block: LED totals X %1, Y %2 outside 0..%3")
                         .arg(nX)
                         .arg(nY)
                         .arg(CPanelGeometry::MaxLedsPerAxis);
        m_eState = Refused;
        return;
    }
    m_nTableBytes = (nX + nY) * 16;
    m_nExpected = m_nHeaderSize + m_nTableBytes;
    m_tableBytes.reserve(m_nTableBytes);
    if (m_nTableBytes == 0)
        m_eState = Complete;
}
