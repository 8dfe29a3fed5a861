#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Collects the data of the parameter-block packets (AC 81, packet 1 onwards)
// into the block, its optional extension and the LED table.
//
// The stream is cut in order into the 524-byte block, a 44-byte extension when
// the block's marker at offset 12 is not 0x10000000, and the LED table of
// (X total + Y total) * 16 bytes (little-endian floats). The table is sized only
// after the LED totals of the completed block passed their bounds.
class CParamBlockAssembler
{
public:
    enum EState { Collecting, Complete, Refused };

    void Reset();

    // Appends the data of one accepted packet. Returns the state afterwards;
    // data past the end of the table is ignored.
    EState AddData(const quint8 *pData, int nSize);

    EState State() const { return m_eState; }
    // The block, followed by the extension when there is one (524 or 568 bytes).
    const QByteArray &Block() const { return m_block; }
    const QVector<float> &Table() const { return m_table; }
    // Why the stream was refused.
    const QString &Error() const { return m_strError; }
    // Bytes the complete stream holds, known once the block is in (0 before).
    int ExpectedSize() const { return m_nExpected; }

private:
    void OnHeaderComplete();

    EState m_eState = Collecting;
    QByteArray m_block;
    QByteArray m_tableBytes;
    QVector<float> m_table;
    int m_nHeaderSize = 0; // block (+ extension) once the marker is known
    int m_nTableBytes = -1; // -1 until the header is complete
    int m_nExpected = 0;
    QString m_strError;
};
