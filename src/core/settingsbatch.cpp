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
    Commit();
}

bool CSettingsBatch::Commit()
{
    if (m_pStore)
        m_bWritten = m_pStore->EndBatch();
    m_pStore = nullptr;
    return m_bWritten;
}
