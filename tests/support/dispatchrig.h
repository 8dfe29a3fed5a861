#pragma once

// A station for the dispatcher's calibration and upgrade tests: the real
// HandleWork with its real USB port and device layer on the fake OS backend,
// an emulated frame plugged into it (with its bootloader), and a recorder
// that keeps every answer the dispatcher gives, in the order it gives them.

#include "emulatedbootloader.h"
#include "emulatedframe.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"
#include "comportusb.h"
#include "handlework.h"
#include "shelltestwindow.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <memory>

// The upgrade view as the dispatcher sees it: it gives the firmware path.
class CPathView : public QObject
{
    Q_OBJECT
public:
    explicit CPathView(const QString& path = QString()) : m_path(path) {}
    void SetPath(const QString& path) { m_path = path; }
    Q_INVOKABLE QString GetUpgradeFilePath() const { return m_path; }

private:
    QString m_path;
};

class CDispatchRig : public QObject
{
    Q_OBJECT

public:
    struct SUpgrade
    {
        QString status;
        QString log;
        double dProgress;
    };

    std::shared_ptr<CFakeHidBackend> hid;
    std::unique_ptr<CEmulatedFrame> frame;
    std::unique_ptr<CEmulatedBootloader> boot;
    std::unique_ptr<CEmulatedUsbFrame> usb;
    std::unique_ptr<CShellTestWindow> window;
    std::unique_ptr<HandleWork> work;

    // Every answer of the dispatcher, in order: "msg:<json>", "step:<n>",
    // "caldata", "reset:<bool>", "savefile:<bool>", "deviceinfo",
    // "enumerate:<bool>", "upgrade:<status>".
    QStringList events;
    QList<SUpgrade> upgrades;
    QList<QList<QPair<QString, QString>>> deviceInfos;

    // Builds the station and the frame (not plugged yet).
    void Create(eWorkType type)
    {
        events.clear();
        upgrades.clear();
        deviceInfos.clear();
        hid = CFakeHidBackend::Install();
        frame.reset(new CEmulatedFrame);
        // The frame leaves the bus well after its last answer was read (a
        // removal ends every wait of the station at once).
        frame->Edit([](CEmulatedFrame::State& s) {
            s.boot.nJumpDelayMs = 4000;
            s.boot.nReturnDelayMs = 4000;
        });
        boot.reset(new CEmulatedBootloader(frame.get()));
        usb.reset(new CEmulatedUsbFrame(frame.get(), hid));
        window.reset(new CShellTestWindow);
        window->SetWorkType(type);
        work.reset(new HandleWork(window.get()));
        Connect();
        // The port's first enumeration runs from the event loop: let it find
        // the empty bus before a frame is plugged.
        Settle();
    }

    void Destroy()
    {
        work.reset();
        window.reset();
        usb.reset();
        boot.reset();
        frame.reset();
        hid.reset();
        CFakeHidBackend::Uninstall();
    }

    void Clear()
    {
        events.clear();
        upgrades.clear();
        deviceInfos.clear();
        frame->ClearRequests();
    }

    // Runs one task and returns when it has run and its answers are in.
    bool Run(const QString& task, QObject* pPara = nullptr)
    {
        if (!work->PostTask(task, Qt::BlockingQueuedConnection, pPara))
            return false;
        Flush();
        return true;
    }

    static void Flush()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    template <typename Pred>
    static bool WaitFor(Pred pred, int nTimeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!pred()) {
            if (timer.elapsed() > nTimeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(200);
        }
        return true;
    }

    // Waits until no task of the dispatcher is queued or running: posts a
    // marker task with the blocking type (it runs after everything queued).
    void Settle()
    {
        Flush();
        work->PostTask(QStringLiteral("__settle__"), Qt::BlockingQueuedConnection);
        Flush();
    }

    bool HasUpgrade(const QString& status) const
    {
        for (const SUpgrade& u : upgrades)
            if (u.status == status)
                return true;
        return false;
    }

    static QString Json(const QJsonObject& obj)
    {
        return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
    }

    // (cmd, sub) of the application requests the frame received, as "A1 06".
    // A request the station only writes reaches the frame a moment after the
    // write returns: with nAtLeast the list is awaited (up to 2 s).
    QStringList AppCommands(int nAtLeast = 0) const
    {
        if (nAtLeast > 0)
            WaitFor([this, nAtLeast] { return AppCommands().size() >= nAtLeast; }, 2000);
        QStringList out;
        for (const QByteArray& r : frame->Requests()) {
            if (quint8(r.at(0)) == 0xFC)
                out << QString::fromLatin1(r.mid(1, 2).toHex(' ').toUpper());
        }
        return out;
    }

private:
    void Connect()
    {
        HandleWork* w = work.get();
        connect(w, &HandleWork::EmitCalibrateMsg, this,
                [this](QJsonObject msg) { events << QStringLiteral("msg:") + Json(msg); }, Qt::QueuedConnection);
        connect(w, &HandleWork::UpdateCalStep, this,
                [this](int n) { events << QStringLiteral("step:%1").arg(n); }, Qt::QueuedConnection);
        connect(w, &HandleWork::UpdateCalibrationData, this, [this] { events << QStringLiteral("caldata"); },
                Qt::QueuedConnection);
        connect(w, &HandleWork::emitResetCallBack, this,
                [this](bool b) { events << QStringLiteral("reset:%1").arg(b ? "true" : "false"); },
                Qt::QueuedConnection);
        connect(w, &HandleWork::EmitSaveCalibrateFileParamToDev, this,
                [this](bool b) { events << QStringLiteral("savefile:%1").arg(b ? "true" : "false"); },
                Qt::QueuedConnection);
        connect(w, &HandleWork::EmitDeviceEnumerateState, this,
                [this](bool b) { events << QStringLiteral("enumerate:%1").arg(b ? "true" : "false"); },
                Qt::QueuedConnection);
        connect(w, &HandleWork::UpdateDeviceInfo, this,
                [this](QList<QPair<QString, QString>> lstDev, QList<QPair<QString, QString>>) {
                    events << QStringLiteral("deviceinfo");
                    deviceInfos << lstDev;
                },
                Qt::QueuedConnection);
        connect(w, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), this,
                [this](QString status, QString log, double dProgress) {
                    events << QStringLiteral("upgrade:") + status;
                    upgrades << SUpgrade{status, log, dProgress};
                },
                Qt::QueuedConnection);
    }
};
