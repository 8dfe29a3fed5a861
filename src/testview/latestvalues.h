#pragma once

#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <utility>

// The latest value of each key, handed from a producing thread to the GUI
// thread: a new value replaces the one still waiting under its key, so a slow
// reader never faces a pile of stale values. Put tells the producer when the
// box was empty, the one moment it has to ask the reader to drain it; the
// reader takes everything that waits at once.
template <typename V>
class CLatestValues
{
public:
    // Stores the value under the key; true when nothing was waiting before.
    bool Put(const QString& key, V value)
    {
        QMutexLocker lock(&m_mutex);
        const bool bWasEmpty = m_values.isEmpty();
        m_values.insert(key, std::move(value));
        if (m_values.size() > m_nMostWaiting)
            m_nMostWaiting = m_values.size();
        return bWasEmpty;
    }

    // Everything that waits, in key order; the box is empty afterwards.
    QMap<QString, V> TakeAll()
    {
        QMap<QString, V> values;
        QMutexLocker lock(&m_mutex);
        values.swap(m_values);
        return values;
    }

    void Clear() { TakeAll(); }

    int Waiting() const
    {
        QMutexLocker lock(&m_mutex);
        return m_values.size();
    }

    // The most values that waited at once since the last reset.
    int MostWaiting() const
    {
        QMutexLocker lock(&m_mutex);
        return m_nMostWaiting;
    }
    void ResetMostWaiting()
    {
        QMutexLocker lock(&m_mutex);
        m_nMostWaiting = m_values.size();
    }

private:
    mutable QMutex m_mutex;
    QMap<QString, V> m_values;
    int m_nMostWaiting = 0;
};
