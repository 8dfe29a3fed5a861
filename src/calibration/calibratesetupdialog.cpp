#include "calibratesetupdialog.h"

#include "calframecheck.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "initext.h"
#include "localclock.h"
#include "stationclock.h"
#include "ui_calibratesetupdialog.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>

namespace {
// How long showing, exporting or importing waits for a running task to
// let go of the device.
constexpr int kDeviceWaitMs = 500;
const char* const kKeys[] = {"LX", "LY", "RX", "RY"};
const char kGroup[] = "CalibrateParameter";
const char kFilter[] = "*.ini";

QString HexText(int32_t nValue)
{
    // The sign after the prefix: QString::number writes a negative number
    // in base 16 as its 64-bit two's complement.
    const QString digits = QString::number(qAbs(qint64(nValue)), 16);
    return QStringLiteral("0x") + (nValue < 0 ? QStringLiteral("-") + digits : digits);
}

void SetTextColour(QLineEdit* pEdit, Qt::GlobalColor colour)
{
    QPalette palette = pEdit->palette();
    palette.setColor(QPalette::Text, colour);
    pEdit->setPalette(palette);
}

QString StatusText(QSettings::Status status)
{
    switch (status) {
    case QSettings::AccessError:
        return QStringLiteral("it cannot be read or written");
    case QSettings::FormatError:
        return QStringLiteral("it is no INI file");
    default:
        return QString();
    }
}
// The file's content with the four values put into its group, the rest as
// it was (an empty content for a new file), made apart from the file (see
// CIniText), so that the file itself is only ever written whole
// (WriteWholeFile). Empty text in *pWhy on success.
QByteArray WithValues(const QByteArray& existing, const int32_t values[4], QString* pWhy)
{
    QMap<QString, QVariant> map;
    QSettings::Status status = QSettings::NoError;
    QByteArray data;
    if (!CIniText::Parse(existing, &map, &status, pWhy))
        return data;
    // A file that is there but cannot be read is not overwritten.
    *pWhy = StatusText(status);
    if (!pWhy->isEmpty())
        return data;
    for (int i = 0; i < 4; ++i)
        map.insert(QStringLiteral("%1/%2").arg(QLatin1String(kGroup), QLatin1String(kKeys[i])), values[i]);
    CIniText::Make(map, &data, pWhy);
    return data;
}
} // namespace

CalibrateSetUpDialog::CalibrateSetUpDialog(QWidget* parent, HandleWork* pWork)
    : QDialog(parent), ui(new Ui::CalibrateSetUpDialog), m_pHandleWork(pWork)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    for (QLineEdit* pEdit : {ui->devCalParameter_LX, ui->devCalParameter_LY, ui->devCalParameter_RX,
                             ui->devCalParameter_RY, ui->fileCalParameter_LX, ui->fileCalParameter_LY,
                             ui->fileCalParameter_RX, ui->fileCalParameter_RY}) {
        QFont font = pEdit->font();
        font.setWeight(75);
        pEdit->setFont(font);
        SetTextColour(pEdit, Qt::blue);
    }
    ui->importCalParameter_Btn->setEnabled(false);
    setWindowTitle(tr("Calibrate SetUp"));
    setWindowIcon(QIcon(QStringLiteral(":/Image/Image-UI/setUp-E.png")));
    if (pWork) {
        connect(pWork, &HandleWork::EmitSaveCalibrateFileParamToDev, this,
                &CalibrateSetUpDialog::ReciveSendCalParamToDevResult);
    }
    UpdateDevCalParameter();
}

CalibrateSetUpDialog::~CalibrateSetUpDialog()
{
    // Destroyed with the main window, after the dispatcher: nothing here
    // reaches it.
    delete ui;
}

QString CalibrateSetUpDialog::ExportFileName(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss-zzz")) + QStringLiteral("-CaliabrateParameter.ini");
}

CalibrateSetUpDialog::SFileValues CalibrateSetUpDialog::ReadParameterFile(const QString& path)
{
    SFileValues values;
    // Looked at before QSettings reads it whole (a missing file reads as
    // one without keys).
    QString sizeProblem;
    const EFileRead check = CheckFileSize(path, kMaxParameterFileBytes, &sizeProblem);
    if (check == EFileRead::TooLarge || check == EFileRead::Unreadable) {
        values.problem = sizeProblem;
        return values;
    }
    values.bRead = true;
    int32_t* pValues[] = {&values.nLX, &values.nLY, &values.nRX, &values.nRY};
    const QSettings file(path, QSettings::IniFormat);
    for (int i = 0; i < 4; ++i) {
        const QString key = QStringLiteral("/%1/%2").arg(QLatin1String(kGroup), QLatin1String(kKeys[i]));
        const bool bPresent = file.contains(key);
        const QString text = file.value(key).toString();
        bool bDecimal = false;
        const int nValue = text.toInt(&bDecimal, 10);
        *pValues[i] = bDecimal ? nValue : 0;
        if (!values.problem.isEmpty())
            continue;
        if (!bPresent)
            values.problem = QStringLiteral("%1 is missing").arg(QLatin1String(kKeys[i]));
        else if (!bDecimal)
            values.problem = QStringLiteral("%1 is no decimal integer: \"%2\"").arg(QLatin1String(kKeys[i]), text);
        else if (nValue < 0 || nValue > 0xFFFF)
            values.problem = QStringLiteral("%1 = %2 is outside 0..65535").arg(QLatin1String(kKeys[i])).arg(nValue);
    }
    if (values.problem.isEmpty() && file.status() != QSettings::NoError)
        values.problem = StatusText(file.status());
    values.bValid = values.problem.isEmpty();
    return values;
}

CalibrateSetUpDialog::EDeviceAccess CalibrateSetUpDialog::WithDevice(
    const std::function<void(HardwareInterface*)>& use)
{
    if (!m_pHandleWork || m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live)
        return EDeviceAccess::NoFrame;
    // The object's own getters and setters inside the hold: the
    // dispatcher's would lock the same mutex again.
    QMutex* pDeviceMutex = m_pHandleWork->GetDeviceMutex();
    if (!pDeviceMutex->tryLock(CStationClock::Timeout(kDeviceWaitMs)))
        return EDeviceAccess::Busy;
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pHandleWork->GetTouchDevice());
    if (pDevice)
        use(pDevice);
    pDeviceMutex->unlock();
    return pDevice ? EDeviceAccess::Done : EDeviceAccess::NoFrame;
}

CalibrateSetUpDialog::EDeviceAccess CalibrateSetUpDialog::ReadDeviceValues(int32_t* pValues)
{
    return WithDevice([pValues](HardwareInterface* pDevice) {
        pValues[0] = pDevice->GetCalLX();
        pValues[1] = pDevice->GetCalLY();
        pValues[2] = pDevice->GetCalRX();
        pValues[3] = pDevice->GetCalRY();
    });
}

void CalibrateSetUpDialog::UpdateDevCalParameter()
{
    int32_t values[4] = {0, 0, 0, 0};
    const EDeviceAccess access = ReadDeviceValues(values);
    if (access == EDeviceAccess::Busy)
        qInfo().noquote() << "UpdateDevCalParameter : the device is busy; the values shown are kept";
    if (access != EDeviceAccess::Done)
        return;
    ui->devCalParameter_LX->setText(HexText(values[0]));
    ui->devCalParameter_LY->setText(HexText(values[1]));
    ui->devCalParameter_RX->setText(HexText(values[2]));
    ui->devCalParameter_RY->setText(HexText(values[3]));
}

void CalibrateSetUpDialog::on_outputCalparameter_Btn_clicked(bool)
{
    if (!m_pHandleWork || m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live) {
        qInfo().noquote() << "on_outputCalparameter_Btn_clicked : no frame is plugged; there is nothing to export";
        return;
    }
    const QString proposed =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + ExportFileName(CLocalClock::Now());
    // The values exported are those of the frame the operator chose to
    // export: one that left or was swapped while the name was chosen is not.
    const CCalFrameCheck frame(m_pHandleWork);
    const QString path = QFileDialog::getSaveFileName(this, tr("calibrate parameter file"), proposed,
                                                      QLatin1String(kFilter), nullptr);
    if (path.isEmpty())
        return;

    int32_t values[4] = {0, 0, 0, 0};
    const QString changed = frame.WhatChanged();
    const EDeviceAccess access = changed.isEmpty() ? ReadDeviceValues(values) : EDeviceAccess::NoFrame;
    QString why;
    QString fileProblem;
    const EFileRead check = access == EDeviceAccess::Done
        ? CheckFileSize(path, kMaxParameterFileBytes, &fileProblem)
        : EFileRead::Missing;
    if (!changed.isEmpty()) {
        why = changed + QStringLiteral(" while the file was chosen");
    } else if (access == EDeviceAccess::Busy) {
        why = QStringLiteral("the device is busy");
    } else if (access == EDeviceAccess::NoFrame) {
        why = QStringLiteral("the frame is gone");
    } else if (check == EFileRead::TooLarge || check == EFileRead::Unreadable) {
        // An existing file is read whole before its four entries are
        // replaced: one too large, or no plain file, is neither read nor
        // written.
        why = fileProblem;
    } else {
        QByteArray existing;
        if (check == EFileRead::Read
            && ReadWholeFile(path, kMaxParameterFileBytes, &existing, &fileProblem) != EFileRead::Read)
            why = fileProblem;
        if (why.isEmpty()) {
            const QByteArray data = WithValues(existing, values, &why);
            if (why.isEmpty())
                WriteWholeFile(path, data, &why);
        }
    }
    if (!why.isEmpty()) {
        qWarning().noquote() << "on_outputCalparameter_Btn_clicked :" << path << "was not written:" << why;
        QMessageBox::warning(this, tr("Calibrate SetUp"), tr("Failed to write the calibration parameter file"));
        return;
    }
    qInfo().noquote() << "on_outputCalparameter_Btn_clicked : calibration parameters written to" << path;
    SetTextColour(ui->outCalParameterFilePath_lineEdit, Qt::green);
    ui->outCalParameterFilePath_lineEdit->setText(path);
}

void CalibrateSetUpDialog::on_browseCalParameterFile_Btn_clicked(bool)
{
    const QString path = QFileDialog::getOpenFileName(this, tr("calibrate parameter file"),
                                                      QCoreApplication::applicationDirPath(),
                                                      QLatin1String(kFilter), nullptr);
    SetTextColour(ui->calParameterFilePath_lineEdit, Qt::green);
    ui->calParameterFilePath_lineEdit->setText(path);
    qDebug().noquote() << "on_browseCalParameterFile_Btn_clicked" << ": paramFilePath = " + path;
    // A cancelled or vanished name keeps what was read before.
    if (path.isEmpty() || !QDir().exists(path))
        return;

    const SFileValues values = ReadParameterFile(path);
    m_nFileLX = values.nLX;
    m_nFileLY = values.nLY;
    m_nFileRX = values.nRX;
    m_nFileRY = values.nRY;
    if (values.bRead) {
        ShowFileValues();
    } else {
        // Nothing of the file is known.
        for (QLineEdit* pEdit : {ui->fileCalParameter_LX, ui->fileCalParameter_LY, ui->fileCalParameter_RX,
                                 ui->fileCalParameter_RY})
            pEdit->clear();
    }
    // Only a file that holds all four values as the frame takes them is
    // imported: anything else would put values into the frame that the
    // file does not hold.
    ui->importCalParameter_Btn->setEnabled(values.bValid);
    if (!values.bRead) {
        qWarning().noquote() << "on_browseCalParameterFile_Btn_clicked :" << path << "is not read:" << values.problem;
        QMessageBox::warning(this, tr("Import calibration parameters"), tr("Invalid calibration parameter file"));
    } else if (!values.bValid) {
        qWarning().noquote() << "on_browseCalParameterFile_Btn_clicked :" << path << "is no calibration parameter file:"
                             << values.problem;
        QMessageBox::warning(this, tr("Import calibration parameters"), tr("Invalid calibration parameter file"));
    }
}

void CalibrateSetUpDialog::ShowFileValues()
{
    ui->fileCalParameter_LX->setText(HexText(m_nFileLX));
    ui->fileCalParameter_LY->setText(HexText(m_nFileLY));
    ui->fileCalParameter_RX->setText(HexText(m_nFileRX));
    ui->fileCalParameter_RY->setText(HexText(m_nFileRY));
}

void CalibrateSetUpDialog::on_importCalParameter_Btn_clicked(bool)
{
    const EDeviceAccess access = WithDevice([this](HardwareInterface* pDevice) {
        pDevice->SetCalLX(m_nFileLX);
        pDevice->SetCalLY(m_nFileLY);
        pDevice->SetCalRX(m_nFileRX);
        pDevice->SetCalRY(m_nFileRY);
    });
    if (access == EDeviceAccess::NoFrame) {
        qInfo().noquote() << "on_importCalParameter_Btn_clicked : no frame is plugged; nothing is imported";
        return;
    }
    if (access == EDeviceAccess::Busy) {
        // Nothing changed: no read-back either.
        qWarning().noquote() << "on_importCalParameter_Btn_clicked : the device is busy; nothing is imported";
        QMessageBox::warning(this, tr("Import calibration parameters"), tr("Import failed"));
        return;
    }
    m_pHandleWork->PostTask(QStringLiteral("SendFileCalibrateParameterToDev"));
}

void CalibrateSetUpDialog::ReciveSendCalParamToDevResult(bool result)
{
    if (result) {
        QMessageBox::warning(this, tr("Import calibration parameters"), tr("Import successful"));
        UpdateDevCalParameter();
        return;
    }
    QMessageBox::warning(this, tr("Import calibration parameters"), tr("Import failed"));
    // The frame's own values replace the ones set for the import.
    if (m_pHandleWork)
        m_pHandleWork->PostTask(QStringLiteral("InitDeviceCalData"));
}
