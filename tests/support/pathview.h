#pragma once

#include <QObject>
#include <QString>

// The upgrade view as the dispatcher sees it: it gives the firmware path.
class CPathView : public QObject
{
    Q_OBJECT
public:
    explicit CPathView(const QString& path = QString()) : m_path(path) {}
    void SetPath(const QString& path) { m_path = path; }
    Q_INVOKABLE QString GetUpgradeFilePath() const { return m_path; }

private:
    QString m_path;
};
