#include "settingsbatch.h"

#include "lockedsettings.h"

CSettingsBatch::CSettingsBatch(CLockedSettings *pStore)
    : m_pStore(pStore)
{
    if (m_pStore)
        m_pStore->BeginBatch();
}

CSettingsBatch::~CSettingsBatch()
{
    if (m_pStore)
        m_pStore->EndBatch();
}
