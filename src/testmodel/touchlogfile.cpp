#include "touchlogfile.h"

CTouchLogfile::CTouchLogfile(COperateEnvironment *pEnv, QString strName, QObject *parent)
    : CTouchBase(pEnv, std::move(strName), parent)
{
    m_nType = 2;
}

CTouchLogfile::~CTouchLogfile() = default;

uint32_t CTouchLogfile::PrevFrame()
{
    m_nFrameNumber = (m_nFrameNumber > 0) ? m_nFrameNumber - 1 : m_nLastRecord;
    return m_nFrameNumber;
}

int32_t CTouchLogfile::SetReverseMode(bool bReverse)
{
    m_bReverseMode = bReverse;
    return 0;
}

uint32_t CTouchLogfile::NextFrame()
{
    m_nFrameNumber = (m_nFrameNumber < m_nLastRecord) ? m_nFrameNumber + 1 : 0;
    return m_nFrameNumber;
}

int32_t CTouchLogfile::SaveXml(const QString &)
{
    return 0;
}

int32_t CTouchLogfile::InitAgc()
{
    return 0;
}

bool CTouchLogfile::GetRunVerdict(QString &strCode, QString &strMessage) const
{
    if (!m_bRunVerdict)
        return false;
    strCode = m_strRunCode;
    strMessage = m_strRunMessage;
    return true;
}

void CTouchLogfile::KeepRunVerdict()
{
    m_strRunCode.clear();
    m_strRunMessage.clear();
    GetTestResultCode(m_strRunCode, m_strRunMessage);
    m_bRunVerdict = true;
}

void CTouchLogfile::ForgetRunVerdict()
{
    m_bRunVerdict = false;
    m_strRunCode.clear();
    m_strRunMessage.clear();
}
