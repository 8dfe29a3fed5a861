#include "mainsetupdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

MainSetUpDialog::MainSetUpDialog(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("The settings are not available in this build."), this));
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
}

void MainSetUpDialog::InitSetUpView()
{
    exec();
}
