#include "veloratestview.h"

#include <QLabel>
#include <QVBoxLayout>

VeloraTestView::VeloraTestView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("The signal test is not available in this build."), this));
    connect(this, &QDialog::finished, this, [this] { emit emitWorkType(MAINWORK); });
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
}

void VeloraTestView::SetTouchEnableCheck(bool)
{
}
