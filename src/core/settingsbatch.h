#pragma once

class CLockedSettings;

// Gathers the changes that this thread makes to one settings store into a
// single write to disk. While the object lives, calls on this thread that
// change the store keep their change in memory (every thread sees it at once
// through the store); when the object goes, the changes reach the disk
// together, so the file is written once instead of once per call. Other
// threads' calls are not affected. Nested batches of one store write at the
// end of the outermost one.
//
//     CSettingsBatch batch(CCustomerSettings::GetInstance());
//     settings->GetString("Parity", "0");   // defaults of absent keys...
//     settings->GetString("StopBit", "1");  // ...go to disk together
//
// Create and destroy it on the same thread, as a local object.
//
// Whether the changes reached the disk is known only when they are written:
// Commit() ends the batch at once and tells it (an inner batch's changes wait
// for the outermost one, whose Commit tells).
class CSettingsBatch
{
public:
    explicit CSettingsBatch(CLockedSettings *pStore);
    ~CSettingsBatch();

    // Ends the batch now: false when its changes could not be written (the
    // store has taken them back). Later calls, and the destructor, do
    // nothing more and the calls return the same answer.
    bool Commit();

    CSettingsBatch(const CSettingsBatch &) = delete;
    CSettingsBatch &operator=(const CSettingsBatch &) = delete;

private:
    CLockedSettings *m_pStore;
    bool m_bWritten = true;
};
