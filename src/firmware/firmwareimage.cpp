#include "firmwareimage.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QVector>
#include <cstring>

namespace {
quint32 U32Le(const quint8* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

QString Hex(qint64 nValue)
{
    return QStringLiteral("0x") + QString::number(nValue, 16);
}
} // namespace

const char* CFirmwareImage::StatusText(Status eStatus)
{
    switch (eStatus) {
    case Status::Ok:
        return "";
    case Status::PathError:
        return "Firmware path error";
    case Status::OpenError:
        return "Firmware cannot be opened";
    case Status::ReadError:
        break;
    }
    return "Firmware read error";
}

CFirmwareImage::Status CFirmwareImage::Fail(Status eStatus, const QString& strProblem)
{
    m_data.clear();
    m_nPos = 0;
    m_eStatus = eStatus;
    m_strProblem = strProblem;
    return eStatus;
}

CFirmwareImage::Status CFirmwareImage::Load(const QString& strPath)
{
    const QFileInfo info(strPath);
    if (strPath.isEmpty() || !info.exists())
        return Fail(Status::PathError, QStringLiteral("no file \"%1\"").arg(strPath));
    if (!info.isFile())
        return Fail(Status::OpenError, QStringLiteral("\"%1\" is not a regular file").arg(strPath));
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(Status::OpenError, QStringLiteral("\"%1\": %2").arg(strPath, file.errorString()));
    const qint64 nSize = file.size();
    if (nSize > MAX_IMAGE_SIZE)
        return Fail(Status::ReadError,
                    QStringLiteral("\"%1\" has %2 bytes, more than an image can have").arg(strPath).arg(nSize));
    // One byte more than announced tells a file that grew while it was read.
    const QByteArray data = file.read(nSize + 1);
    if (file.error() != QFileDevice::NoError)
        return Fail(Status::ReadError, QStringLiteral("\"%1\": %2").arg(strPath, file.errorString()));
    if (data.size() != nSize)
        return Fail(Status::ReadError, QStringLiteral("\"%1\" changed while it was read").arg(strPath));
    const Status eStatus = LoadData(data);
    if (eStatus != Status::Ok)
        m_strProblem = QStringLiteral("\"%1\": %2").arg(strPath, m_strProblem);
    return eStatus;
}

CFirmwareImage::Status CFirmwareImage::LoadData(const QByteArray& data)
{
    m_data = data;
    m_nPos = 0;
    if (m_data.isEmpty())
        return Fail(Status::ReadError, QStringLiteral("the image is empty"));
    if (m_data.size() > MAX_IMAGE_SIZE)
        return Fail(Status::ReadError, QStringLiteral("the image is too big"));
    QString strProblem;
    if (!CheckRecords(&strProblem))
        return Fail(Status::ReadError, strProblem);
    m_eStatus = Status::Ok;
    m_strProblem.clear();
    return m_eStatus;
}

bool CFirmwareImage::CheckRecords(QString* pProblem) const
{
    const qint64 nSize = m_data.size();
    const auto* pData = reinterpret_cast<const quint8*>(m_data.constData());
    // Every path starts at 0 or at a part offset and runs in whole records to
    // the end; a record start is checked once, whichever path reaches it. The
    // record the download reads right after a header (at a part offset, or
    // the next one) is sent without looking for a header in it.
    QSet<qint64> checked;
    QVector<qint64> starts{0};
    while (!starts.isEmpty()) {
        qint64 nPos = starts.takeLast();
        for (; nPos < nSize; nPos += RECORD_SIZE) {
            if (checked.contains(nPos))
                break;
            checked.insert(nPos);
            const quint8* pRecord = pData + nPos;
            const int nLen = int(qMin<qint64>(RECORD_SIZE, nSize - nPos));
            if (IsPartHeader(pRecord, nLen)) {
                if (nLen < RECORD_SIZE) {
                    *pProblem = QStringLiteral("the part-selection header at %1 is cut short (%2 bytes)")
                                    .arg(Hex(nPos))
                                    .arg(nLen);
                    return false;
                }
                const PartHeader header = ParseHeader(pRecord);
                const quint32 offsets[2] = {header.nOffsetA, header.nOffsetB};
                for (int i = 0; i < 2; ++i) {
                    const qint64 nPart = offsets[i];
                    const QString strPart = QLatin1String(i == 0 ? "A" : "B");
                    if (nPart < nPos + RECORD_SIZE || nPart >= nSize) {
                        *pProblem = QStringLiteral("the header at %1 puts part %2 at %3, outside %4..%5")
                                        .arg(Hex(nPos), strPart, Hex(nPart), Hex(nPos + RECORD_SIZE),
                                             Hex(nSize - 1));
                        return false;
                    }
                    if (pData[nPart] != RECORD_ID) {
                        *pProblem = QStringLiteral("part %1 of the header at %2 starts with 0x%3 at %4, not a record")
                                        .arg(strPart, Hex(nPos))
                                        .arg(pData[nPart], 2, 16, QLatin1Char('0'))
                                        .arg(Hex(nPart));
                        return false;
                    }
                    starts.append(nPart);
                }
                // Neither part: the record after the header goes out as it
                // is read, so it must be a record (not another header).
                const qint64 nNext = nPos + RECORD_SIZE;
                if (nNext >= nSize) {
                    *pProblem = QStringLiteral("the header at %1 is the last record").arg(Hex(nPos));
                    return false;
                }
                if (pData[nNext] != RECORD_ID) {
                    *pProblem = QStringLiteral("the record after the header at %1 starts with 0x%2, not 0xfe")
                                    .arg(Hex(nPos))
                                    .arg(pData[nNext], 2, 16, QLatin1Char('0'));
                    return false;
                }
                continue;
            }
            if (pRecord[0] != RECORD_ID) {
                *pProblem = QStringLiteral("the record at %1 starts with 0x%2, not 0xfe")
                                .arg(Hex(nPos))
                                .arg(pRecord[0], 2, 16, QLatin1Char('0'));
                return false;
            }
        }
    }
    return true;
}

bool CFirmwareImage::Seek(qint64 nPos)
{
    if (nPos < 0 || nPos > m_data.size())
        return false;
    m_nPos = nPos;
    return true;
}

int CFirmwareImage::ReadRecord(quint8* pRecord)
{
    const qint64 nLeft = m_data.size() - m_nPos;
    const int nLen = nLeft > 0 ? int(qMin<qint64>(RECORD_SIZE, nLeft)) : 0;
    if (nLen > 0)
        std::memcpy(pRecord, m_data.constData() + m_nPos, size_t(nLen));
    if (nLen < RECORD_SIZE)
        std::memset(pRecord + nLen, 0, size_t(RECORD_SIZE - nLen));
    m_nPos += nLen;
    return nLen;
}

bool CFirmwareImage::IsPartHeader(const quint8* pRecord, int nLen)
{
    return pRecord && nLen >= 4 && U32Le(pRecord) == 0xFFFFFFFFu;
}

CFirmwareImage::PartHeader CFirmwareImage::ParseHeader(const quint8* pRecord)
{
    PartHeader header;
    header.nTypeA = U32Le(pRecord + 8);
    header.nOffsetA = U32Le(pRecord + 12);
    header.nTypeB = U32Le(pRecord + 16);
    header.nOffsetB = U32Le(pRecord + 20);
    return header;
}

qint64 CFirmwareImage::PartOffset(const PartHeader& header, quint32 nType)
{
    if (nType == header.nTypeA)
        return header.nOffsetA;
    if (nType == header.nTypeB)
        return header.nOffsetB;
    return -1;
}
