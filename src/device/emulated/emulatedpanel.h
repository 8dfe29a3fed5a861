#pragma once

#include "emulatedframe.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>
#include <memory>

// The panel of an emulated frame: its geometry (LED counts, boards, slant
// offsets, LED positions), the limits it reports, and the signal levels of
// every light path, computed from the health of the sensors at both ends.
//
// Install() registers the frame's answers to the panel commands: the parameter
// block (AC 01, packets in windows), LED counts (A5 00), layout values (A5 07),
// the signal threshold (A8 05), the limits (A8 16, A8 06) and signal chunks
// (A5 01; the ready poll A5 01 FF stays with the frame). It is written from the
// frame's side of the protocol; the path rule is the frame's own:
// path i of direction d of an axis with start s, length M and offset O(d)
// joins emitter s + i and receiver s + max(0, min(O(d) + i, M - 1)); X
// emitters sit on the bottom side, X receivers on the top, Y emitters on the
// right and Y receivers on the left.
class CEmulatedPanel
{
public:
    enum ESide { Bottom = 0, Top = 1, Left = 2, Right = 3 };

    // Limits of one axis and direction in signal units (0..255). The frame
    // reports them multiplied by 4.
    struct Limits
    {
        quint16 adcHi = 255, adcLo = 100;
        quint16 adcProblemHi = 30, adcProblemLo = 0;
        quint16 untHi = 40, untLo = 0;
        quint8 untType = 0; // 0 Absolute, else Percent
        quint16 reverseHi = 255, reverseLo = 0;
        quint16 agcHi = 250, agcLo = 10;
        quint8 tolerance = 0;
    };

    struct Model
    {
        // Geometry.
        int nX = 12;
        int nY = 8;
        int sides[4] = {0, 0, 0, 0}; // side counts 1..4 (A5 00 only)
        QVector<int> boards[4] = {{6, 6}, {6, 6}, {4, 4}, {4, 4}}; // bottom, top, left, right
        int offsets[2][3] = {{-2, 0, 2}, {-1, 0, 1}}; // O(axis, dir)
        float fPitch = 5.0f; // mm between LEDs in the LED table
        bool bExtension = false; // block marker other than 0x10000000, 44 more bytes

        // Parameter block transfer.
        bool bParamBlock = true;
        quint8 nNoBlockStatus = 0x83;
        int nPacketData = 52; // data bytes per packet (at most 55)
        int nAnnouncedPackets = 0; // N in packet 0 (0: the real count)
        int nSwapFirstWindow = 0; // transfers whose packets 1 and 2 come back swapped
        int nStatusPacket = -1; // packet sent with status nPacketStatus ...
        quint8 nPacketStatus = 2;
        int nStatusTimes = 1; // ... in that many transfers
        int nBadChecksumPacket = -1; // a copy with damaged data (its sum unchanged) goes first
        int nStalePacket = -1; // a copy of the previous packet goes first
        bool bLittleEndianLength = true;

        // Signal threshold.
        quint8 nDivide = 0;
        quint8 nPercent = 80;

        // Limits: A8 16 data, or a status reply (then A8 06 on the geometry
        // road, or the block words on the block road).
        bool bA816 = true;
        quint8 nA816Status = 0x83;
        int nA816StatusAfter = 0; // directions answered with data before the status
        Limits limits[2][3];

        // Levels.
        quint8 nAdc = 200;
        quint8 nAgc = 128;
        quint8 nReverse = 150;
        QVector<quint8> reverseLevels[2]; // per axis, path i of T1 (else nReverse)
        QMap<QString, quint8> sensorAdc; // "Bottom:5" -> ADC level of every path through it
        QMap<QString, quint8> sensorAgc; // "Bottom:5" -> AGC level of every path through it

        // Leave the bus when this many signal-chunk requests were answered (-1 never).
        int nUnplugAfterChunks = -1;

        // Counters.
        int nChunkRequests = 0;
        int nTransfers = 0;
    };

    explicit CEmulatedPanel(CEmulatedFrame *pFrame);

    // Registers the handlers on the frame. The panel must outlive the frame's use.
    void Install();

    template <typename F>
    void Edit(F &&f)
    {
        std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
        f(m_model);
        m_levelCache.clear();
    }
    Model Snapshot() const;

    // Sensor name as the frame's paths and the problem map use it: "Bottom:5".
    static QString SensorName(int nSide, int n);
    static const char *SideName(int nSide);
    // Every sensor of board b (from 0) of a side gets the ADC level.
    static void SetBoardAdc(Model *pModel, int nSide, int nBoard, quint8 nLevel);

    // Signal start and count of an axis (side counts 1/2 for X, 3/4 for Y).
    static int SignalStart(const Model &m, int nAxis);
    static int MaxSignal(const Model &m, int nAxis);
    // Emitter and receiver numbers of path i of (axis, dir).
    static int Emitter(const Model &m, int nAxis, int nDir, int i);
    static int Receiver(const Model &m, int nAxis, int nDir, int i);
    // Levels the frame sends for (axis, dir, kind), kind "ADC", "AGC" or "REVERSE".
    static QVector<quint8> Levels(const Model &m, int nAxis, int nDir, const QString &strKind);

    // The block (and extension) followed by the LED table.
    static QByteArray ParamStream(const Model &m);
    // Number of packets the transfer needs, packet 0 included.
    static int PacketCount(const Model &m);

private:
    bool OnParamBlock(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnLedCounts(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnLayout(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnThreshold(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnA816(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnA806(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);
    bool OnSignal(CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA);

    QByteArray Packet(int nIndex, quint8 nStatus) const;
    // Levels of (axis, dir, kind), computed once per edit of the model.
    const QVector<quint8> &CachedLevels(int nAxis, int nDir, const QString &strKind);

    CEmulatedFrame *m_pFrame;
    Model m_model;
    QByteArray m_stream; // of the transfer in progress
    int m_nPackets = 0;
    bool m_bSwapThisTransfer = false;
    bool m_bStatusThisTransfer = false;
    int m_nA816Answers = 0;
    QMap<QString, QVector<quint8>> m_levelCache;
};
