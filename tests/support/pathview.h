#pragma once

#include <QObject>
#include <QString>

// The upgrade view as the dispatcher sees it: the poster of "Start_Upgrade",
// with the firmware path the post carries.
class CPathView : public QObject
{
    Q_OBJECT
public:
    explicit CPathView(const QString& path = QString()) : m_path(path) {}
    void SetPath(const QString& path) { m_path = path; }
    QString Path() const { return m_path; }

private:
    QString m_path;
};
