#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QMessageBox;

// Answers the message boxes that code under test opens modally: every box
// that becomes the active modal widget is recorded (title, text, button
// texts) and closed with the button chosen by Answer(), by its text; with no
// answer set the box's escape button closes it.
class CModalBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    struct SBox
    {
        QString title;
        QString text;
        QStringList buttons;
        QString icon; // "Warning", "Information", "Question", "Critical", "NoIcon"
    };

    explicit CModalBoxAnswerer(QObject* parent = nullptr);

    // The text of the button to press in the next boxes (empty: escape).
    void Answer(const QString& buttonText) { m_strAnswer = buttonText; }
    // Runs while a box is open, before it is answered (the box's own event
    // loop is running).
    void OnShown(std::function<void(const SBox&)> fn) { m_onShown = std::move(fn); }

    QList<SBox> boxes;

private slots:
    void Poll();

private:
    QTimer m_timer;
    QString m_strAnswer;
    std::function<void(const SBox&)> m_onShown;
};
