#include "emulatedpanel.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace {

using Action = CEmulatedFrame::Action;

quint8 B(const QByteArray &r, int i)
{
    return CEmulatedFrame::Byte(r, i);
}

void Send(QList<Action> *pA, const QByteArray &report)
{
    Action a;
    a.kind = Action::Reply;
    a.report = CEmulatedFrame::Pad64(report);
    pA->append(a);
}

void PutS16(QByteArray *p, int i, int v)
{
    CEmulatedFrame::PutU16Le(p, i, quint16(qint16(v)));
}

void PutFloat(QByteArray *p, int i, float f)
{
    quint32 u;
    std::memcpy(&u, &f, sizeof u);
    CEmulatedFrame::PutU32Le(p, i, u);
}

int SelectorAxis(int nSel)
{
    return nSel % 2;
}

} // namespace

CEmulatedPanel::CEmulatedPanel(CEmulatedFrame *pFrame)
    : m_pFrame(pFrame)
{
}

CEmulatedPanel::Model CEmulatedPanel::Snapshot() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_model;
}

const char *CEmulatedPanel::SideName(int nSide)
{
    static const char *const names[4] = {"Bottom", "Top", "Left", "Right"};
    return (nSide >= 0 && nSide < 4) ? names[nSide] : "";
}

QString CEmulatedPanel::SensorName(int nSide, int n)
{
    return QStringLiteral("%1:%2").arg(QLatin1String(SideName(nSide))).arg(n);
}

void CEmulatedPanel::SetBoardAdc(Model *pModel, int nSide, int nBoard, quint8 nLevel)
{
    int nFirst = 0;
    for (int b = 0; b < nBoard && b < pModel->boards[nSide].size(); ++b)
        nFirst += pModel->boards[nSide][b];
    if (nBoard >= pModel->boards[nSide].size())
        return;
    for (int k = 0; k < pModel->boards[nSide][nBoard]; ++k)
        pModel->sensorAdc[SensorName(nSide, nFirst + k)] = nLevel;
}

int CEmulatedPanel::SignalStart(const Model &m, int nAxis)
{
    return nAxis == 0 ? m.sides[0] : m.sides[2];
}

int CEmulatedPanel::MaxSignal(const Model &m, int nAxis)
{
    const int n = nAxis == 0 ? m.nX - m.sides[0] - m.sides[1] : m.nY - m.sides[2] - m.sides[3];
    return std::max(n, 0);
}

int CEmulatedPanel::Emitter(const Model &m, int nAxis, int, int i)
{
    return SignalStart(m, nAxis) + i;
}

int CEmulatedPanel::Receiver(const Model &m, int nAxis, int nDir, int i)
{
    const int M = MaxSignal(m, nAxis);
    return SignalStart(m, nAxis) + std::max(0, std::min(m.offsets[nAxis][nDir] + i, M - 1));
}

QVector<quint8> CEmulatedPanel::Levels(const Model &m, int nAxis, int nDir, const QString &strKind)
{
    const int M = MaxSignal(m, nAxis);
    QVector<quint8> v(M);
    const int nEmitterSide = nAxis == 0 ? Bottom : Right;
    const int nReceiverSide = nAxis == 0 ? Top : Left;
    for (int i = 0; i < M; ++i) {
        const QString e = SensorName(nEmitterSide, Emitter(m, nAxis, nDir, i));
        const QString r = SensorName(nReceiverSide, Receiver(m, nAxis, nDir, i));
        if (strKind == QLatin1String("AGC")) {
            v[i] = std::min(m.sensorAgc.value(e, m.nAgc), m.sensorAgc.value(r, m.nAgc));
        } else if (strKind == QLatin1String("REVERSE")) {
            v[i] = i < m.reverseLevels[nAxis].size() ? m.reverseLevels[nAxis][i] : m.nReverse;
        } else {
            v[i] = std::min(m.sensorAdc.value(e, m.nAdc), m.sensorAdc.value(r, m.nAdc));
        }
    }
    return v;
}

QByteArray CEmulatedPanel::ParamStream(const Model &m)
{
    QByteArray block(524, '\0');
    CEmulatedFrame::PutU32Le(&block, 12, m.bExtension ? 0x20000000u : 0x10000000u);
    PutS16(&block, 52, m.nX);
    PutS16(&block, 54, m.nY);
    PutS16(&block, 80, -m.offsets[0][0]);
    PutS16(&block, 86, -m.offsets[1][0]);
    PutS16(&block, 96, m.nX - m.offsets[0][2]);
    PutS16(&block, 102, m.nY - m.offsets[1][2]);
    // Limits of the block as stored (ADC per direction, the rest shared);
    // the AGC words are stored four times larger.
    for (int d = 0; d < 3; ++d) {
        PutS16(&block, 104 + 2 * d, m.limits[0][d].adcHi);
        PutS16(&block, 110 + 2 * d, m.limits[0][d].adcLo);
    }
    PutS16(&block, 128, m.limits[0][1].untHi);
    PutS16(&block, 130, m.limits[0][1].adcProblemHi);
    PutS16(&block, 132, m.limits[0][1].adcProblemLo);
    PutS16(&block, 134, m.limits[0][1].agcHi * 4);
    PutS16(&block, 136, m.limits[0][1].agcLo * 4);
    const int nOffsets[4] = {492, 508, 516, 500}; // bottom, top, left, right
    for (int side = 0; side < 4; ++side)
        for (int b = 0; b < 8 && b < m.boards[side].size(); ++b)
            block[nOffsets[side] + b] = char(quint8(m.boards[side][b]));
    if (m.bExtension)
        block.append(QByteArray(44, char(0xEE)));

    // LED table: bottom and top rows along x, left and right rows along y.
    const float p = m.fPitch;
    const float fBottom = -6.6f;
    const float fTop = float(std::max(m.nY - 1, 0)) * p + 6.6f;
    const float fLeft = -6.6f;
    const float fRight = float(std::max(m.nX - 1, 0)) * p + 6.6f;
    QByteArray table((m.nX + m.nY) * 16, '\0');
    int o = 0;
    auto put = [&](float x, float y) {
        PutFloat(&table, o, x);
        PutFloat(&table, o + 4, y);
        o += 8;
    };
    for (int i = 0; i < m.nX; ++i)
        put(float(i) * p, fBottom);
    for (int i = 0; i < m.nX; ++i)
        put(float(i) * p, fTop);
    for (int i = 0; i < m.nY; ++i)
        put(fLeft, float(i) * p);
    for (int i = 0; i < m.nY; ++i)
        put(fRight, float(i) * p);
    return block + table;
}

int CEmulatedPanel::PacketCount(const Model &m)
{
    const int nData = std::max(1, std::min(m.nPacketData, 55));
    const int nStream = ParamStream(m).size();
    return 1 + (nStream + nData - 1) / nData;
}

void CEmulatedPanel::Install()
{
    using namespace std::placeholders;
    m_pFrame->AddHandler(0xAC, 0x01, std::bind(&CEmulatedPanel::OnParamBlock, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA5, 0x00, std::bind(&CEmulatedPanel::OnLedCounts, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA5, 0x07, std::bind(&CEmulatedPanel::OnLayout, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA8, 0x05, std::bind(&CEmulatedPanel::OnThreshold, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA8, 0x16, std::bind(&CEmulatedPanel::OnA816, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA8, 0x06, std::bind(&CEmulatedPanel::OnA806, this, _1, _2, _3));
    m_pFrame->AddHandler(0xA5, 0x01, std::bind(&CEmulatedPanel::OnSignal, this, _1, _2, _3));
}

QByteArray CEmulatedPanel::Packet(int nIndex, quint8 nStatus) const
{
    QByteArray data;
    if (nIndex == 0) {
        data = QByteArray(16, '\0');
        const int n = m_model.nAnnouncedPackets > 0 ? m_model.nAnnouncedPackets : m_nPackets;
        CEmulatedFrame::PutU32Le(&data, 12, quint32(n));
    } else {
        const int nData = std::max(1, std::min(m_model.nPacketData, 55));
        data = m_stream.mid((nIndex - 1) * nData, nData);
    }
    const int L = 3 + data.size();
    QByteArray r(64, '\0');
    r[0] = char(0xFC);
    r[1] = char(0xAC);
    r[2] = char(0x81);
    if (m_model.bLittleEndianLength)
        CEmulatedFrame::PutU16Le(&r, 3, quint16(L));
    else
        CEmulatedFrame::PutU16Be(&r, 3, quint16(L));
    r[5] = char(nStatus);
    CEmulatedFrame::PutU16Le(&r, 6, quint16(nIndex));
    for (int i = 0; i < data.size(); ++i)
        r[8 + i] = data[i];
    quint8 sum = 0;
    for (int i = 5; i < 5 + L; ++i)
        sum = quint8(sum + quint8(r[i]));
    r[5 + L] = char(sum);
    return r;
}

bool CEmulatedPanel::OnParamBlock(CEmulatedFrame &frame, const QByteArray &q, QList<Action> *pA)
{
    Model &m = m_model;
    if (B(q, 3) == 6) {
        // First request: [5..10] = 00 00 01 00 00 00, [11] = their byte sum.
        quint8 sum = 0;
        for (int i = 5; i <= 10; ++i)
            sum = quint8(sum + B(q, i));
        if (B(q, 7) != 1 || B(q, 11) != sum)
            return false;
        if (!m.bParamBlock) {
            Send(pA, frame.StatusReplyFor(0xAC, 0x01, m.nNoBlockStatus));
            return true;
        }
        ++m.nTransfers;
        m_stream = ParamStream(m);
        m_nPackets = PacketCount(m);
        m_bSwapThisTransfer = m.nSwapFirstWindow > 0;
        if (m_bSwapThisTransfer)
            --m.nSwapFirstWindow;
        m_bStatusThisTransfer = m.nStatusPacket > 0 && m.nStatusTimes > 0;
        if (m_bStatusThisTransfer)
            --m.nStatusTimes;
        Send(pA, Packet(0, 0));
        return true;
    }
    if (B(q, 3) != 2 || quint8(B(q, 5) + B(q, 6)) != B(q, 7))
        return false;
    const int nIndex = CEmulatedFrame::GetU16Le(q, 5);
    if (nIndex < 1 || nIndex >= m_nPackets)
        return true; // nothing to send for packets past the end
    if (m_bSwapThisTransfer && nIndex == 1)
        return true; // goes out after packet 2
    if (nIndex == m.nStalePacket && nIndex > 1)
        Send(pA, Packet(nIndex - 1, 0));
    if (nIndex == m.nBadChecksumPacket) {
        // Its data bytes damaged on the way, its sum that of the good packet:
        // only the checksum tells it from the copy that follows.
        QByteArray bad = Packet(nIndex, 0);
        for (int i = 8; i < 16; ++i)
            bad[i] = char(quint8(bad[i]) ^ 0xA5);
        Send(pA, bad);
    }
    const quint8 nStatus = (m_bStatusThisTransfer && nIndex == m.nStatusPacket) ? m.nPacketStatus : 0;
    Send(pA, Packet(nIndex, nStatus));
    if (m_bSwapThisTransfer && nIndex == 2)
        Send(pA, Packet(1, 0));
    return true;
}

bool CEmulatedPanel::OnLedCounts(CEmulatedFrame &frame, const QByteArray &, QList<Action> *pA)
{
    const Model &m = m_model;
    QByteArray r = frame.DataReply(0xA5, 0x80);
    r[3] = char(59);
    CEmulatedFrame::PutU16Le(&r, 6, quint16(m.nX - m.sides[0] - m.sides[1]));
    CEmulatedFrame::PutU16Le(&r, 8, quint16(m.nY - m.sides[2] - m.sides[3]));
    for (int i = 0; i < 4; ++i)
        CEmulatedFrame::PutU16Le(&r, 54 + 2 * i, quint16(m.sides[i]));
    // Divisors that give the symmetric offsets when they divide evenly; the
    // layout values (A5 87) carry the exact ones.
    const int a = m.offsets[0][2];
    const int b = m.offsets[1][2];
    r[62] = char((a > 0 && m.nY % a == 0 && m.nY / a < 256) ? m.nY / a : 0);
    r[63] = char((b > 0 && m.nX % b == 0 && m.nX / b < 256) ? m.nX / b : 0);
    // A frame with one axis sends that axis's offset itself as g + 256 h.
    const int nSingle = m.nY == 0 ? a : m.nX == 0 ? b : -1;
    if (m.nX + m.nY > 0 && nSingle >= 0) {
        r[62] = char(nSingle & 0xFF);
        r[63] = char((nSingle >> 8) & 0xFF);
    }
    Send(pA, r);
    return true;
}

bool CEmulatedPanel::OnLayout(CEmulatedFrame &frame, const QByteArray &, QList<Action> *pA)
{
    const Model &m = m_model;
    // f = total / (offset +- 0.5): the station's truncated total / f gives the offset.
    auto f = [](int nTotal, int nOffset) -> float {
        if (nOffset == 0 || nTotal == 0)
            return 0.0f;
        return float(double(nTotal) / (nOffset + (nOffset > 0 ? 0.5 : -0.5)));
    };
    QByteArray r = frame.DataReply(0xA5, 0x87);
    r[3] = char(0x28);
    PutFloat(&r, 5, f(m.nY, m.offsets[0][0]));
    PutFloat(&r, 21, f(m.nY, m.offsets[0][2]));
    PutFloat(&r, 25, f(m.nX, m.offsets[1][0]));
    PutFloat(&r, 41, f(m.nX, m.offsets[1][2]));
    Send(pA, r);
    return true;
}

bool CEmulatedPanel::OnThreshold(CEmulatedFrame &frame, const QByteArray &, QList<Action> *pA)
{
    m_nA816Answers = 0;
    QByteArray r = frame.DataReply(0xA8, 0x85);
    r[3] = char(5);
    r[5] = char(m_model.nDivide);
    r[9] = char(m_model.nPercent);
    Send(pA, r);
    return true;
}

bool CEmulatedPanel::OnA816(CEmulatedFrame &frame, const QByteArray &q, QList<Action> *pA)
{
    const Model &m = m_model;
    const int d = B(q, 5);
    const int nAxis = 1 - B(q, 6);
    if (d > 2 || nAxis < 0 || nAxis > 1)
        return false;
    if (!m.bA816 && m_nA816Answers >= m.nA816StatusAfter) {
        Send(pA, frame.StatusReplyFor(0xA8, 0x16, m.nA816Status));
        return true;
    }
    ++m_nA816Answers;
    const Limits &l = m.limits[nAxis][d];
    QByteArray r = frame.DataReply(0xA8, 0x96);
    r[3] = char(41);
    r[5] = char(d);
    r[6] = char(B(q, 6));
    CEmulatedFrame::PutU16Le(&r, 11, quint16(l.adcHi * 4));
    CEmulatedFrame::PutU16Le(&r, 13, quint16(l.adcLo * 4));
    CEmulatedFrame::PutU16Le(&r, 19, quint16(l.untHi * 4));
    CEmulatedFrame::PutU16Le(&r, 21, quint16(l.untLo * 4));
    r[23] = char(l.untType);
    CEmulatedFrame::PutU16Le(&r, 29, quint16(l.reverseHi * 4));
    CEmulatedFrame::PutU16Le(&r, 31, quint16(l.reverseLo * 4));
    CEmulatedFrame::PutU16Le(&r, 33, quint16(l.adcProblemHi * 4));
    CEmulatedFrame::PutU16Le(&r, 35, quint16(l.adcProblemLo * 4));
    CEmulatedFrame::PutU16Le(&r, 37, quint16(l.agcHi * 4));
    CEmulatedFrame::PutU16Le(&r, 39, quint16(l.agcLo * 4));
    r[45] = char(l.tolerance);
    Send(pA, r);
    return true;
}

bool CEmulatedPanel::OnA806(CEmulatedFrame &frame, const QByteArray &q, QList<Action> *pA)
{
    const Model &m = m_model;
    const int d = B(q, 5);
    const int nAxis = 1 - B(q, 6);
    if (d > 2 || nAxis < 0 || nAxis > 1)
        return false;
    const int O = m.offsets[nAxis][d];
    const int M = MaxSignal(m, nAxis);
    const Limits &l = m.limits[nAxis][d];
    QByteArray r = frame.DataReply(0xA8, 0x86);
    r[3] = char(22);
    CEmulatedFrame::PutU16Le(&r, 5, quint16(std::max(0, O)));
    CEmulatedFrame::PutU16Le(&r, 7, quint16(std::min(M - 1 + O, M - 1)));
    CEmulatedFrame::PutU16Le(&r, 9, quint16(l.adcHi * 4));
    CEmulatedFrame::PutU16Le(&r, 11, quint16(l.adcLo * 4));
    r[13] = char(quint8(std::min(l.untHi * 4, 255)));
    CEmulatedFrame::PutU16Le(&r, 19, quint16(l.adcProblemHi * 4));
    CEmulatedFrame::PutU16Le(&r, 21, quint16(l.adcProblemLo * 4));
    CEmulatedFrame::PutU16Le(&r, 23, quint16(l.agcHi * 4));
    CEmulatedFrame::PutU16Le(&r, 25, quint16(l.agcLo * 4));
    Send(pA, r);
    return true;
}

const QVector<quint8> &CEmulatedPanel::CachedLevels(int nAxis, int nDir, const QString &strKind)
{
    const QString strKey = QStringLiteral("%1/%2/%3").arg(nAxis).arg(nDir).arg(strKind);
    auto it = m_levelCache.find(strKey);
    if (it == m_levelCache.end())
        it = m_levelCache.insert(strKey, Levels(m_model, nAxis, nDir, strKind));
    return it.value();
}

bool CEmulatedPanel::OnSignal(CEmulatedFrame &frame, const QByteArray &q, QList<Action> *pA)
{
    const int nSel = B(q, 5);
    if (nSel == 0xFF)
        return false; // the ready poll belongs to the frame
    Model &m = m_model;
    if (nSel > 17 || B(q, 3) != 2)
        return false;
    const int nFirst = CEmulatedFrame::GetU16Le(q, 6);
    const int nCount = CEmulatedFrame::GetU16Le(q, 8);
    if (nCount > 55)
        return false;
    const int nAxis = SelectorAxis(nSel);
    const int nDirPart = (nSel % 6) - nAxis; // 0 T2, 2 T1, 4 T0
    const int nDir = nDirPart == 4 ? 0 : nDirPart == 2 ? 1 : 2;
    QString strKind = nSel >= 12 ? QStringLiteral("AGC") : nSel >= 6 ? QStringLiteral("ORG") : QStringLiteral("ADC");
    if (strKind == QLatin1String("ADC") && frame.StateRef().settings.bReverse)
        strKind = QStringLiteral("REVERSE");

    if (m.nUnplugAfterChunks >= 0 && m.nChunkRequests >= m.nUnplugAfterChunks) {
        Action a;
        a.kind = Action::Unplug;
        pA->append(a);
        return true;
    }
    ++m.nChunkRequests;

    const QVector<quint8> &levels = CachedLevels(nAxis, nDir, strKind);
    QByteArray r = frame.DataReply(0xA5, 0x81);
    r[3] = char(4 + nCount);
    r[5] = char(nSel);
    CEmulatedFrame::PutU16Le(&r, 6, quint16(nFirst));
    r[8] = char(nCount);
    for (int i = 0; i < nCount; ++i)
        r[9 + i] = char(nFirst + i < levels.size() ? levels[nFirst + i] : 0);
    Send(pA, r);
    return true;
}
