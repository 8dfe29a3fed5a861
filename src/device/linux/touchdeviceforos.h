#pragma once

#include "hidbackend.h"
#include "touchcollection.h"
#include "touchdevice.h"

#include <QList>
#include <QString>
#include <atomic>
#include <bitset>
#include <memory>

class CTouchManage;

// The Linux half of a device object: the frame's collections on its hidraw
// node(s), a command descriptor and a raw descriptor (each node opened once
// per role, so that each reader gets its own copy of every report, as the
// kernel gives every open file its own), two readers that block in poll() on
// their descriptor and on a wake-up descriptor, and the writes and direct
// reads of the firmware download.
class CTouchDeviceForOS : public CTouchDevice
{
public:
    // The device keeps the backend alive: it closes its descriptors through it
    // when it goes, which may be after the manager has let the backend go.
    CTouchDeviceForOS(std::shared_ptr<CHidBackend> backend, CTouchManage *pManage);
    ~CTouchDeviceForOS() override;

    // The collections of a node that this layer can use; empty when the
    // node's vendor/product pair is not supported or nothing matches.
    static QList<TouchCollection> CheckIdentifiableDevice(const HidNodeInfo &node);

    // Opens one collection of the frame for its role; returns 0.
    int32_t AppendDevicePath(const HidNodeInfo &node, const TouchCollection &collection);
    // Fills the identity record from the node's sysfs identity; -1 without a
    // command collection.
    int32_t InitDeviceInfo(const HidNodeInfo &node);

    int32_t SendUpgradeData(const uint8_t *buf, int len, int timeout) override;
    int32_t RecvUpgradeData(uint8_t *buf, int len, int timeout) override;
    int32_t SendData(const uint8_t *buf, int len, int timeout) override;
    int32_t ProcessCmdDataTransfer() override;
    int32_t ProcessRawDataTransfer() override;
    int32_t ChangeUpgradeStatus(bool bIsUpgrade) override;

    // Size of every report read and written.
    static constexpr int REPORT_SIZE = 64;

protected:
    void WakeWaiters() override;

private:
    int32_t WriteReport(const uint8_t *buf, int len, int timeout, const char *szCaller);
    void MarkLost();
    static void Signal(int nEventFd);
    static void Drain(int nEventFd);
    static bool IsLostError(ssize_t nError);
    static void CopyString(char *szField, const QByteArray &baValue);

    std::shared_ptr<CHidBackend> m_pBackend;
    CTouchManage *m_pManage;
    std::atomic<int> m_nCmdFd{-1};
    std::atomic<int> m_nRawFd{-1};
    int m_nCmdWakeFd = -1;
    int m_nRawWakeFd = -1;
    QString m_strCmdNode;
    int m_nCmdKind = ColUnknown;
    QString m_strRawNode;
    std::bitset<256> m_cmdIds;  // input ids of the command collection
    std::bitset<256> m_rawIds;  // input ids of the raw collection
    // Warnings that would otherwise repeat on every enumeration pass.
    bool m_bCmdOpenWarned = false;
    bool m_bRawOpenWarned = false;
    bool m_bAttributesWarned = false;
    bool m_bSecondCmdWarned = false;
};
