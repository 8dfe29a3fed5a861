#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

namespace Ui {
class CalibrateSetUpDialog;
}

class HandleWork;
class HardwareInterface;
class QDateTime;

// "Calibrate SetUp": shows the four calibration values the station holds for
// the plugged frame, exports them to a calibration parameter file (INI,
// group "CalibrateParameter", keys LX, LY, RX, RY as decimal numbers) and
// imports such a file into the frame through the dispatcher's task
// "SendFileCalibrateParameterToDev".
//
// The cached values are read and set in one short hold of the device mutex
// (waited for a bounded time, never across a box or a file dialog). The
// dialog is parented to the main window and outlives the dispatcher at the
// end of the program: its destructor does not reach it.
class CalibrateSetUpDialog : public QDialog
{
    Q_OBJECT

public:
    CalibrateSetUpDialog(QWidget* parent, HandleWork* pWork);
    ~CalibrateSetUpDialog() override;

    // Shows the frame's cached values; called before each opening.
    void UpdateDevCalParameter();

    // The largest calibration parameter file read (or, for the export,
    // rewritten): the four values take a hundred bytes; a larger file is
    // not read at all.
    static constexpr qint64 kMaxParameterFileBytes = 64 * 1024;

    // The four values of a calibration parameter file as read: each is 0
    // when absent or not a decimal integer. bRead false when the file was
    // not read at all (larger than kMaxParameterFileBytes, or no plain
    // file). bValid only when the file was read and all four are present,
    // decimal and in 0..65535; otherwise problem names the first fault.
    struct SFileValues
    {
        int32_t nLX = 0;
        int32_t nLY = 0;
        int32_t nRX = 0;
        int32_t nRY = 0;
        bool bRead = false;
        bool bValid = false;
        QString problem;
    };
    static SFileValues ReadParameterFile(const QString& path);
    // The name the export proposes at this local time (without the folder).
    static QString ExportFileName(const QDateTime& time);

public slots:
    void on_browseCalParameterFile_Btn_clicked(bool bIsCheck);
    void on_outputCalparameter_Btn_clicked(bool bIsCheck);
    void on_importCalParameter_Btn_clicked(bool bIsCheck);
    void ReciveSendCalParamToDevResult(bool result);

private:
    enum class EDeviceAccess { Done, NoFrame, Busy };
    // Runs use on the live frame's device object inside one hold of the
    // device mutex, waited for at most a short bound.
    EDeviceAccess WithDevice(const std::function<void(HardwareInterface*)>& use);
    // LX, LY, RX, RY into pValues[0..3].
    EDeviceAccess ReadDeviceValues(int32_t* pValues);
    void ShowFileValues();

    Ui::CalibrateSetUpDialog* ui;
    QPointer<HandleWork> m_pHandleWork;
    int32_t m_nFileLX = 0;
    int32_t m_nFileLY = 0;
    int32_t m_nFileRX = 0;
    int32_t m_nFileRY = 0;
};
