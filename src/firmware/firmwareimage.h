#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A firmware image for a frame's bootloader, read whole into memory and
// checked before anything is sent to the frame.
//
// The image is a sequence of 64-byte records, read from the start. Every
// record is a complete boot-collection output report (byte 0 the report id
// 0xFE, byte 1 the bootloader command, the rest its data) and goes out
// unchanged; a last record shorter than 64 bytes is padded with zeros. A
// record that starts FF FF FF FF is a part-selection header and is never
// sent: it names two MCU types and the file offset of the part for each
// (little-endian 32-bit words at bytes 8, 12, 16 and 20). The download asks
// the frame for its MCU type and continues at the matching part's offset, or
// right after the header when neither type matches.
//
// Load() refuses an image that the download could not send as it is: a
// missing or unreadable file, an empty one, a header cut short or last in the
// file, a part offset outside the file or not after its header (which would
// send the header or loop back over it), or a record that does not start with
// 0xFE on any path the download can take (the record read right after a
// header is sent as it is, so it cannot be another header). The download then reads the records from the copy
// in memory, so what was checked is what is sent.
class CFirmwareImage
{
public:
    static constexpr int RECORD_SIZE = 64;
    static constexpr quint8 RECORD_ID = 0xFE;
    // Far above any frame's flash; a bigger file is not an image.
    static constexpr qint64 MAX_IMAGE_SIZE = 16 * 1024 * 1024;

    enum class Status {
        Ok,
        PathError,  // no such file: "Firmware path error"
        OpenError,  // not a readable file: "Firmware cannot be opened"
        ReadError,  // empty, unreadable or malformed: "Firmware read error"
    };

    struct PartHeader
    {
        quint32 nTypeA = 0;
        quint32 nOffsetA = 0;
        quint32 nTypeB = 0;
        quint32 nOffsetB = 0;
    };

    CFirmwareImage() = default;

    // Reads the file and checks it.
    Status Load(const QString& strPath);
    // Checks an image already in memory.
    Status LoadData(const QByteArray& data);

    Status GetStatus() const { return m_eStatus; }
    // Why the image was refused, for the run log; empty when it is sound.
    QString Problem() const { return m_strProblem; }
    // The station's own text for a status (untranslated source text).
    static const char* StatusText(Status eStatus);

    qint64 Size() const { return m_data.size(); }
    const QByteArray& Data() const { return m_data; }

    // --- reading the records, as the download does ---
    qint64 Pos() const { return m_nPos; }
    // False (position unchanged) outside 0..Size().
    bool Seek(qint64 nPos);
    bool AtEnd() const { return m_nPos >= m_data.size(); }
    // Copies up to one record from the position into pRecord, pads the rest
    // with zeros and moves on; returns the number of bytes read (0 at the end).
    int ReadRecord(quint8* pRecord);

    // A record (of nLen bytes) that starts with the part-selection marker.
    static bool IsPartHeader(const quint8* pRecord, int nLen);
    static PartHeader ParseHeader(const quint8* pRecord);
    // The offset of the part for MCU type nType (part A first), or -1 when
    // neither part is for it.
    static qint64 PartOffset(const PartHeader& header, quint32 nType);

private:
    Status Fail(Status eStatus, const QString& strProblem);
    // Follows every path the download can take through the image.
    bool CheckRecords(QString* pProblem) const;

    QByteArray m_data;
    qint64 m_nPos = 0;
    Status m_eStatus = Status::ReadError;
    QString m_strProblem = QStringLiteral("no image loaded");
};
