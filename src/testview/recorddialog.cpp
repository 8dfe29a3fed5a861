#include "recorddialog.h"

#include "ui_recorddialog.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QTimer>
#include <QtDebug>

namespace {
const char* const kClockFormat = "hh:mm:ss";
} // namespace

CRecordDialog::CRecordDialog(QWidget* parent)
    : QDialog(parent),
      ui(new Ui::CRecordDialog)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    ui->timerLabel->setAttribute(Qt::WA_TranslucentBackground);

    auto* pOpacity = new QGraphicsOpacityEffect(this);
    pOpacity->setOpacity(0.7);
    setGraphicsEffect(pOpacity);

    m_pClockTimer = new QTimer;
    m_pClockTimer->setInterval(1000);
    m_elapsed = QTime(0, 0, 0, 0);
    connect(m_pClockTimer, &QTimer::timeout, this, &CRecordDialog::UpdateTime);
}

CRecordDialog::~CRecordDialog()
{
    delete m_pClockTimer;
    delete ui;
}

void CRecordDialog::StartClock()
{
    m_elapsed = QTime(0, 0, 0, 0);
    ui->timerLabel->setText(m_elapsed.toString(QLatin1String(kClockFormat)));
    ui->recordButton->setChecked(true);
    m_pClockTimer->start();
}

void CRecordDialog::StopClock()
{
    m_pClockTimer->stop();
    hide();
}

void CRecordDialog::UpdateTime()
{
    m_elapsed = m_elapsed.addSecs(1);
    const QString strTime = m_elapsed.toString(QLatin1String(kClockFormat));
    qDebug().noquote() << "UpdateTime" << ": " << QStringLiteral("\"%1\"").arg(strTime);
    ui->timerLabel->setText(strTime);
}

void CRecordDialog::on_recordButton_clicked(bool checked)
{
    if (checked)
        return;
    m_pClockTimer->stop();
    emit emitExitRecord();
}

void CRecordDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint anchor = event->localPos().toPoint();
    m_nAnchorX = anchor.x();
    m_nAnchorY = anchor.y();
}

void CRecordDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    move(pos() + event->localPos().toPoint() - QPoint(m_nAnchorX, m_nAnchorY));
}
