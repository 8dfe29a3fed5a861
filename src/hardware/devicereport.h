#pragma once

#include "devicecommands.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// One 64-byte HID report exchanged with a touch frame: a request the station
// builds or a reply it reads back. Byte 0 is the report id (0xFC application
// command, 0xFE bootloader command, 0xFD bootloader reply).
//
// Every accessor is bounds-checked: reading past the end gives 0 and writing
// past the end does nothing, so a parser fed a hostile reply can never touch
// memory outside the report.
class CDeviceReport
{
public:
    static constexpr int kSize = 64;
    static constexpr quint8 kAppCommand = 0xFC;
    static constexpr quint8 kBootCommand = 0xFE;
    static constexpr quint8 kBootReply = 0xFD;
    static constexpr quint8 kStatusReply = 0xFE;  // byte 1 of a status reply
    static constexpr quint8 kRefusal = 0xFF;      // byte 1 of a refusal

    // Status values of a status reply (byte 2).
    static constexpr quint8 kStatusDone = 0x81;
    static constexpr quint8 kStatusBusy = 0x82;
    static constexpr quint8 kStatusOther = 0x83;
    static constexpr quint8 kStatusBoot = 0x84;

    CDeviceReport();
    // A zeroed request: [0] = id, [1] = command, [2] = sub-command, [3] = length byte.
    static CDeviceReport Request(quint8 nCmd, quint8 nSub, quint8 nLen, quint8 nId = kAppCommand);
    static CDeviceReport Request(SOpcode op, quint8 nLen, quint8 nId = kAppCommand)
    {
        return Request(op.nCmd, op.nSub, nLen, nId);
    }
    // A report holding the first 64 bytes of `bytes` (zero-padded).
    static CDeviceReport FromBytes(const quint8 *pBytes, int nLen);
    static CDeviceReport FromByteArray(const QByteArray &bytes);

    quint8 *Data() { return m_bytes.data(); }
    const quint8 *Data() const { return m_bytes.data(); }
    QByteArray ToByteArray() const;
    // "FC A3 01 00 ..." of the first nBytes bytes, for the run log.
    QString ToHex(int nBytes = 16) const;

    void Clear();
    void Fill(quint8 nValue, int nFrom = 0);

    quint8 At(int i) const { return (i >= 0 && i < kSize) ? m_bytes[size_t(i)] : 0; }
    void Set(int i, quint8 nValue)
    {
        if (i >= 0 && i < kSize)
            m_bytes[size_t(i)] = nValue;
    }
    quint16 U16Le(int i) const { return quint16(At(i) | (At(i + 1) << 8)); }
    quint16 U16Be(int i) const { return quint16((At(i) << 8) | At(i + 1)); }
    qint16 S16Le(int i) const { return qint16(U16Le(i)); }
    quint32 U32Le(int i) const
    {
        return quint32(At(i)) | (quint32(At(i + 1)) << 8) | (quint32(At(i + 2)) << 16)
            | (quint32(At(i + 3)) << 24);
    }
    float FloatLe(int i) const;
    void SetU16Le(int i, quint16 nValue);
    void SetU16Be(int i, quint16 nValue);
    void SetU32Le(int i, quint32 nValue);

    quint8 Id() const { return At(0); }
    quint8 Command() const { return At(1); }
    quint8 SubCommand() const { return At(2); }
    quint8 Length() const { return At(3); }

    // Data reply of a command: [1] = command, [2] = sub-command OR 0x80.
    bool IsData(quint8 nCmd, quint8 nSub) const { return At(1) == nCmd && At(2) == quint8(nSub | 0x80); }
    bool IsData(SOpcode op) const { return IsData(op.nCmd, op.nSub); }
    // Data reply with an explicit reply sub-command (08 00 answers 08 02).
    bool IsDataSub(quint8 nCmd, quint8 nReplySub) const { return At(1) == nCmd && At(2) == nReplySub; }
    bool IsStatus() const { return At(1) == kStatusReply; }
    // Status reply acknowledging command nCmd/nSub ([5], [6]).
    bool IsStatusFor(quint8 nCmd, quint8 nSub) const
    {
        return At(1) == kStatusReply && At(5) == nCmd && At(6) == nSub;
    }
    bool IsStatusFor(SOpcode op) const { return IsStatusFor(op.nCmd, op.nSub); }
    quint8 Status() const { return At(2); }
    bool IsRefusal() const { return At(1) == kRefusal; }

    bool operator==(const CDeviceReport &other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const CDeviceReport &other) const { return !(*this == other); }

private:
    std::array<quint8, kSize> m_bytes;
};
