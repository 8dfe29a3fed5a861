#pragma once

// Frames for the shell's tests: emulated touch frames (with a healthy panel)
// plugged through the fake OS backend, so that the real device layer and USB
// port carry their reports; and a record of the run-log lines, to see which
// tasks the dispatcher ran.

#include "emulatedframe.h"
#include "emulatedpanel.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

#include <list>
#include <memory>

// One frame on the bus: protocol model, panel, and its USB adapter.
struct CShellFrame
{
    CEmulatedFrame frame;
    CEmulatedPanel panel{&frame};
    std::unique_ptr<CEmulatedUsbFrame> usb;

    CShellFrame(const std::shared_ptr<CFakeHidBackend>& backend, quint16 nVersion, quint16 nPid,
                CEmulatedFrame::Mode mode)
    {
        panel.Install();
        frame.Edit([&](CEmulatedFrame::State& s) {
            s.id.nVersion = nVersion;
            s.id.nAppPid = nPid;
            s.id.serial = "EMU" + QByteArray::number(nPid, 16);
        });
        frame.SetMode(mode);
        usb = std::make_unique<CEmulatedUsbFrame>(&frame, backend);
    }
    ~CShellFrame() { usb.reset(); }
};

// The fake OS backend with the frames of one test. Build it before the
// dispatcher (whose USB port creates the device manager over the backend).
class CShellRig
{
public:
    CShellRig() : m_backend(CFakeHidBackend::Install()) {}
    ~CShellRig()
    {
        m_frames.clear();
        m_backend.reset();
        CFakeHidBackend::Uninstall();
    }

    CShellFrame& AddFrame(quint16 nVersion = 0x7201, quint16 nPid = 0x0013,
                          CEmulatedFrame::Mode mode = CEmulatedFrame::Mode::Application)
    {
        m_frames.emplace_back(m_backend, nVersion, nPid, mode);
        return m_frames.back();
    }
    const std::shared_ptr<CFakeHidBackend>& Backend() const { return m_backend; }

private:
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::list<CShellFrame> m_frames;
};

// Every message of the process while it lives (the messages still reach the
// previous handler).
class CRunLogRecord
{
public:
    CRunLogRecord()
    {
        s_pRecord = this;
        m_previous = qInstallMessageHandler(&CRunLogRecord::Handler);
    }
    ~CRunLogRecord()
    {
        qInstallMessageHandler(m_previous);
        s_pRecord = nullptr;
    }

    QStringList Lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    // The tasks the dispatcher started, in order.
    QStringList Tasks() const
    {
        static const QString kPrefix = QStringLiteral("ProcessTask :task = ");
        QStringList tasks;
        for (const QString& line : Lines()) {
            if (line.startsWith(kPrefix))
                tasks << line.mid(kPrefix.size());
        }
        return tasks;
    }
    int Count(const QString& text) const
    {
        int n = 0;
        for (const QString& line : Lines())
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    void Clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }

private:
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (CRunLogRecord* pRecord = s_pRecord) {
            {
                QMutexLocker lock(&pRecord->m_mutex);
                pRecord->m_lines << message;
            }
            if (pRecord->m_previous && type != QtDebugMsg)
                pRecord->m_previous(type, context, message);
        }
    }

    static inline CRunLogRecord* s_pRecord = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
