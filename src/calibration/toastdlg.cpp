#include "toastdlg.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

CToastDlg::CToastDlg()
    : QDialog(nullptr)
{
    auto* pLayout = new QHBoxLayout;
    m_pTipLabel = new QLabel(this);
    m_pTipLabel->setObjectName(QStringLiteral("tipLabel"));
    m_pTipLabel->setStyleSheet(QStringLiteral("color: black; background:transparent"));
    pLayout->addWidget(m_pTipLabel, 1);

    m_pCloseLabel = new QLabel(this);
    m_pCloseLabel->setObjectName(QStringLiteral("closeLabel"));
    m_pCloseLabel->installEventFilter(this);
    m_pCloseLabel->setStyleSheet(QStringLiteral("background:transparent"));
    pLayout->addWidget(m_pCloseLabel, 0);

    setLayout(pLayout);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
}

CToastDlg::~CToastDlg() = default;

void CToastDlg::SetTip(const QString& text)
{
    m_pTipLabel->setAlignment(Qt::AlignCenter);
    m_pTipLabel->setText(text);
}

QString CToastDlg::Tip() const
{
    return m_pTipLabel->text();
}

bool CToastDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pCloseLabel && event->type() == QEvent::MouseButtonRelease)
        accept();
    // The label still gets the event.
    return QDialog::eventFilter(watched, event);
}
