#include "devicereport.h"

#include <cstring>

CDeviceReport::CDeviceReport()
{
    m_bytes.fill(0);
}

CDeviceReport CDeviceReport::Request(quint8 nCmd, quint8 nSub, quint8 nLen, quint8 nId)
{
    CDeviceReport r;
    r.m_bytes[0] = nId;
    r.m_bytes[1] = nCmd;
    r.m_bytes[2] = nSub;
    r.m_bytes[3] = nLen;
    return r;
}

CDeviceReport CDeviceReport::FromBytes(const quint8 *pBytes, int nLen)
{
    CDeviceReport r;
    if (pBytes && nLen > 0)
        std::memcpy(r.m_bytes.data(), pBytes, size_t(qMin(nLen, kSize)));
    return r;
}

CDeviceReport CDeviceReport::FromByteArray(const QByteArray &bytes)
{
    return FromBytes(reinterpret_cast<const quint8 *>(bytes.constData()), bytes.size());
}

QByteArray CDeviceReport::ToByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(m_bytes.data()), kSize);
}

QString CDeviceReport::ToHex(int nBytes) const
{
    const int n = qBound(0, nBytes, kSize);
    return QString::fromLatin1(ToByteArray().left(n).toHex(' ').toUpper());
}

void CDeviceReport::Clear()
{
    m_bytes.fill(0);
}

void CDeviceReport::Fill(quint8 nValue, int nFrom)
{
    for (int i = qMax(0, nFrom); i < kSize; ++i)
        m_bytes[size_t(i)] = nValue;
}

float CDeviceReport::FloatLe(int i) const
{
    const quint32 bits = U32Le(i);
    float f;
    static_assert(sizeof(f) == sizeof(bits), "32-bit float expected");
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

void CDeviceReport::SetU16Le(int i, quint16 nValue)
{
    Set(i, quint8(nValue & 0xFF));
    Set(i + 1, quint8(nValue >> 8));
}

void CDeviceReport::SetU16Be(int i, quint16 nValue)
{
    Set(i, quint8(nValue >> 8));
    Set(i + 1, quint8(nValue & 0xFF));
}

void CDeviceReport::SetU32Le(int i, quint32 nValue)
{
    for (int k = 0; k < 4; ++k)
        Set(i + k, quint8((nValue >> (8 * k)) & 0xFF));
}
