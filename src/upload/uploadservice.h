#pragma once

class CTestRecord;

// Where the test view hands each finished run. The process-wide service
// (Instance()) asks CUploadTestData::GetInstanceAsking() and, when the
// server description exists and can be read, runs the upload of the record
// on it. Tests put their own service in its place with
// CUploadTestData::SetServiceForTest().
//
//   CTestRecord record;
//   ... fill it ...
//   CUploadService::Instance()->UploadTestData(record);
class CUploadService
{
public:
    virtual ~CUploadService() = default;

    // Stores the record and uploads its log; true when an upload took the
    // record (whatever became of it), false when there is none.
    virtual bool UploadTestData(const CTestRecord &record) = 0;

    static CUploadService *Instance();
};
