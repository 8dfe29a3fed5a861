// Feeds arbitrary bytes to the test-log reader as a replay opens a log, then
// runs the test over what was read and steps through it as the views do.

#include "operateenvironment.h"
#include "touchlogfilexml.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {
void Quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static COperateEnvironment *s_pEnv = [] {
        qInstallMessageHandler(Quiet);
        return new COperateEnvironment;
    }();

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    CTouchLogfileXML log(s_pEnv, QStringLiteral("fuzz.xml"));
    if (log.ReadLogData(bytes) != 0)
        return 0;

    log.RunTest();
    ProblemMap mapProblems;
    log.GetErrors(mapProblems);
    QString strCode;
    QString strMessage;
    log.GetTestResultCode(strCode, strMessage);

    // Step and read like the replay views.
    const QMap<QString, CAxisSignalInfo> mapAxes = log.GetAxisSignalMap();
    for (int nStep = 0; nStep < 4; ++nStep) {
        log.SetReverseMode(nStep == 2);
        for (auto itAxis = mapAxes.cbegin(); itAxis != mapAxes.cend(); ++itAxis) {
            for (const QString &strDir : itAxis.value().GetDirMap().keys()) {
                for (const char *pKind : {"ADC", "AGC", "UNT"}) {
                    SignalFrame frame;
                    uint32_t nFrame = 0;
                    log.ReadAxisSignal(itAxis.key(), strDir, QString::fromLatin1(pKind), frame, &nFrame);
                    log.GetLatestSignal(itAxis.key(), strDir, QString::fromLatin1(pKind), frame, &nFrame);
                }
            }
        }
        ProblemMap mapRealTime;
        log.AnalyseRealTimeSignal(mapRealTime);
        if (nStep % 2)
            log.PrevFrame();
        else
            log.NextFrame();
    }
    return 0;
}
