#pragma once

// Helpers of the settings dialogs' tests: a script run inside a dialog's
// modal loop, a device mutex held by another thread, and screenshots.

#include "testenvironment.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace SettingsTest {

// Runs a script inside a dialog's modal loop: as soon as the dialog is the
// active modal widget, the script runs once from the event loop (its clicks
// may open message boxes, which a CModalBoxAnswerer answers in their own
// loops). A dialog still open after the script is rejected, so that a test
// never hangs on it; LeftOpen() tells.
class CDialogDriver : public QObject
{
public:
    CDialogDriver(QDialog* pDialog, std::function<void(QDialog*)> script)
        : m_pDialog(pDialog), m_script(std::move(script))
    {
        connect(&m_timer, &QTimer::timeout, this, &CDialogDriver::Poll);
        m_timer.start(5);
    }

    bool Ran() const { return m_bRan; }
    bool LeftOpen() const { return m_bLeftOpen; }

private:
    void Poll()
    {
        if (m_bRan || !m_pDialog || QApplication::activeModalWidget() != m_pDialog || !m_pDialog->isVisible())
            return;
        m_bRan = true;
        m_timer.stop();
        m_script(m_pDialog);
        if (m_pDialog && m_pDialog->isVisible()) {
            m_bLeftOpen = true;
            m_pDialog->reject();
        }
    }

    QPointer<QDialog> m_pDialog;
    std::function<void(QDialog*)> m_script;
    QTimer m_timer;
    bool m_bRan = false;
    bool m_bLeftOpen = false;
};

// Holds a mutex on a thread of its own (as a running device task does) until
// Release() or destruction, and at most nSafetyMs: code that waited for the
// mutex without bound then goes on (and fails its test) instead of hanging.
class CMutexHolder
{
public:
    explicit CMutexHolder(QMutex* pMutex, int nSafetyMs = 20000)
    {
        m_thread = std::thread([this, pMutex, nSafetyMs] {
            pMutex->lock();
            std::unique_lock<std::mutex> lock(m_m);
            m_bHeld = true;
            m_cv.notify_all();
            m_cv.wait_for(lock, std::chrono::milliseconds(nSafetyMs), [this] { return m_bRelease; });
            pMutex->unlock();
        });
        std::unique_lock<std::mutex> lock(m_m);
        m_cv.wait(lock, [this] { return m_bHeld; });
    }
    ~CMutexHolder() { Release(); }
    CMutexHolder(const CMutexHolder&) = delete;
    CMutexHolder& operator=(const CMutexHolder&) = delete;

    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(m_m);
            m_bRelease = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
    std::mutex m_m;
    std::condition_variable m_cv;
    bool m_bHeld = false;
    bool m_bRelease = false;
};

// Saves a picture of the widget under $STATION_TEST_OUT/settings/.
inline bool Screenshot(QWidget* pWidget, const QString& name)
{
    const QString dir = CTestEnvironment::OutputDir() + QStringLiteral("/settings");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool bSaved = pWidget->grab().save(path);
    if (bSaved)
        qInfo().noquote() << "Screenshot:" << path;
    return bSaved;
}

template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

} // namespace SettingsTest
