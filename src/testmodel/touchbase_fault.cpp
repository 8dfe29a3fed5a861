#include "touchbase.h"

int32_t CTouchBase::AnalyseSensorError(ProblemMap &) { return 0; }
int32_t CTouchBase::AnalysePcbGroup(ProblemMap &, const QString &, int32_t, int32_t, int32_t) { return 0; }
int32_t CTouchBase::AnalysePcbError(ProblemMap &) { return 0; }
int32_t CTouchBase::AnalyseConnectorError(ProblemMap &) { return 0; }
int32_t CTouchBase::GetErrors(ProblemMap &, uint32_t *) { return 0; }
int32_t CTouchBase::GetTestResultCode(QString &, QString &) { return 0; }
