#include "veloratestview.h"

#include "touchpaintview.h"

#include <QLabel>
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
