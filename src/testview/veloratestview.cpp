#include "veloratestview.h"

#include "touchpaintview.h"

#include <QLabel>
#include <QMutexLocker>
#include <QVBoxLayout>

VeloraTestView::VeloraTestView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("The signal test is not available in this build."), this));
    connect(this, &QDialog::finished, this, [this] { emit emitWorkType(MAINWORK); });

    // The draw test: a window of its own, hidden until it is opened.
    m_pTouchPaintView = new CTouchPaintView(this);
    m_pTouchPaintView->setWindowFlags(Qt::Window);
    m_pTouchPaintView->hide();
}

void VeloraTestView::StartTest()
{
}

QString VeloraTestView::GetLogFilePath()
{
    QMutexLocker lock(&m_valueMutex);
    return m_strLogFilePath;
}

void VeloraTestView::GetAgcValue(uint32_t* pT, uint32_t* pR)
{
    QMutexLocker lock(&m_valueMutex);
    if (pT)
        *pT = m_nTAgc;
    if (pR)
        *pR = m_nRAgc;
}

void VeloraTestView::InsertUsbDeviceForTest(bool)
{
}

void VeloraTestView::UpdateSignalTestDeviceInfo(QList<QPair<QString, QString>>)
{
}

void VeloraTestView::OpenTouchPaintWindow()
{
    m_pTouchPaintView->showFullScreen();
}

void VeloraTestView::SetTouchEnableCheck(bool)
{
}

void VeloraTestView::InitTestUi(QMap<QString, QString>)
{
}

bool VeloraTestView::ShowTestResult(QMap<QString, QString>)
{
    return false;
}

void VeloraTestView::ShowReverseData(bool)
{
}

void VeloraTestView::InitAgcRangeFinished(bool)
{
}

bool VeloraTestView::UpdateRealTimeData()
{
    return true;
}

void VeloraTestView::TaskFailed(QString, int32_t)
{
}
