#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Keeps every message the code under test logs (any thread), while it lives;
// messages above Debug still reach the handler installed before it. One at a
// time per process.
class CRunLogCapture
{
public:
    CRunLogCapture()
    {
        {
            QMutexLocker guard(&s_captureMutex);
            s_pCapture = this;
        }
        m_previous = qInstallMessageHandler(&CRunLogCapture::Handler);
    }
    ~CRunLogCapture()
    {
        qInstallMessageHandler(m_previous);
        // A message of another thread that is being kept now is kept whole
        // before the capture goes.
        QMutexLocker guard(&s_captureMutex);
        s_pCapture = nullptr;
    }
    CRunLogCapture(const CRunLogCapture&) = delete;
    CRunLogCapture& operator=(const CRunLogCapture&) = delete;

    struct Line
    {
        QtMsgType type;
        QString text;
    };

    // Every line with its level, in order.
    QList<Line> Entries() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    QStringList Lines() const
    {
        QMutexLocker lock(&m_mutex);
        QStringList lines;
        for (const Line& line : m_lines)
            lines << line.text;
        return lines;
    }
    // Lines of one level (QtWarningMsg, QtCriticalMsg, ...).
    QStringList Lines(QtMsgType type) const
    {
        QMutexLocker lock(&m_mutex);
        QStringList lines;
        for (const Line& line : m_lines) {
            if (line.type == type)
                lines << line.text;
        }
        return lines;
    }
    // The tasks the dispatcher started, in order.
    QStringList Tasks() const
    {
        static const QString kPrefix = QStringLiteral("ProcessTask :task = ");
        QStringList tasks;
        for (const QString& line : Lines()) {
            if (line.startsWith(kPrefix))
                tasks << line.mid(kPrefix.size());
        }
        return tasks;
    }
    // How many lines contain text.
    int Count(const QString& text) const
    {
        int n = 0;
        for (const QString& line : Lines())
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    bool Contains(const QString& text) const { return Count(text) > 0; }
    void Clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }

private:
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        QtMessageHandler previous = nullptr;
        {
            QMutexLocker guard(&s_captureMutex);
            CRunLogCapture* pCapture = s_pCapture;
            if (!pCapture)
                return;
            {
                QMutexLocker lock(&pCapture->m_mutex);
                pCapture->m_lines.push_back(Line{type, message});
            }
            if (type != QtDebugMsg)
                previous = pCapture->m_previous;
        }
        // Outside the guard: the previous handler may log in turn.
        if (previous)
            previous(type, context, message);
    }

    // Guards the pointer to the capture against its destruction while
    // another thread keeps a message.
    static inline QMutex s_captureMutex;
    static inline CRunLogCapture* s_pCapture = nullptr;
    mutable QMutex m_mutex;
    QList<Line> m_lines;
    QtMessageHandler m_previous = nullptr;
};
