#include "caladvancedsettingview.h"

CCalAdvancedSettingView::CCalAdvancedSettingView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
}

void CCalAdvancedSettingView::InitSettingView()
{
}

void CCalAdvancedSettingView::ExitWithSavePrompt()
{
}
