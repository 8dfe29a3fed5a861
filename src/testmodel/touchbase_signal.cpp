#include "touchbase.h"

int32_t CTouchBase::CheckWeakSignalLimit(SignalErrorMap &) { return 0; }
int32_t CTouchBase::AnalyseFrame(const QString &, const QString &, const QString &, const SignalFrame &, SignalErrorMap &) { return 0; }
int32_t CTouchBase::AnalyseSignal(const QString &, const SignalMap &, SignalErrorMap &) { return 0; }
int32_t CTouchBase::AnalyseAdc() { return 0; }
int32_t CTouchBase::GetLatestSignal(const QString &, const QString &, const QString &, SignalFrame &lstOut, uint32_t *) { return lstOut.size(); }
int32_t CTouchBase::CalcFluctuation(const QString &, const QList<SignalFrame> &, SignalFrame &lstOut, uint32_t) { return lstOut.size(); }
int32_t CTouchBase::CalcUntSignal(SignalMap &, SignalMap &mapUnt) { return mapUnt.size(); }
int32_t CTouchBase::TrimFrames(SignalMap &, int32_t) { return 0; }
int32_t CTouchBase::CheckLightThreshold(ProblemMap &, const QString &, const QString &) { return 0; }
int32_t CTouchBase::CheckAllLightThresholds(ProblemMap &) { return 0; }
int32_t CTouchBase::AnalyseRealTimeSignal(ProblemMap &, uint32_t *) { return 0; }
