#include "uploadservice.h"

#include "testrecord.h"
#include "uploadtestdata.h"

namespace {
// The product's service: the caller's order of the upload, the instance first.
class CServerInfoUploadService : public CUploadService
{
public:
    bool UploadTestData(const CTestRecord &record) override
    {
        CUploadTestData *pUpload = CUploadTestData::GetInstanceAsking(record.GetLogUrl());
        if (!pUpload)
            return false;
        CTestRecord copy(record);
        pUpload->UploadTestData(copy);
        return true;
    }
};
} // namespace

CUploadService *CUploadService::Instance()
{
    static CServerInfoUploadService service;
    if (CUploadTestData::s_pServiceForTest)
        return CUploadTestData::s_pServiceForTest;
    return &service;
}
