#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>

class QXmlStreamWriter;

// The station's environment record: system, program version, network
// address and hardware address, as ordered name/value pairs written into
// every test log, and whether the driver program "PanelHost.exe" runs.
class COperateEnvironment : public QObject
{
    Q_OBJECT
public:
    using EnvironmentList = QList<QPair<QString, QString>>;

    // One network interface as the record sees it.
    struct SInterface
    {
        QNetworkInterface::InterfaceFlags flags;
        QString hardwareAddress;
    };

    explicit COperateEnvironment(QObject *parent = nullptr);

    // The list itself: the replay of a saved log fills it from the log.
    EnvironmentList *GetEnvironmentList();
    const EnvironmentList *GetEnvironmentList() const;

    // Makes sure the parameter table is loaded (through the hook), rebuilds
    // the list and checks the driver program again, in this order.
    void Refresh();
    int CollectEnvironment();
    void CheckDriverRunning();
    bool IsDriverRunning() const;

    // Writes <app_info> with one <info ID="n" name="..."> per pair; nothing
    // and false while the list is empty.
    bool WriteAppInfoXml(QXmlStreamWriter &writer) const;

    // The application installs the loader of the per-product parameter table
    // (the test model sits above this library).
    static void SetParameterTableHook(std::function<void()> hook);

    static QString AppVersion();
    static QString DriverExeName();
    // The driver program this record looks for (DriverExeName() unless a
    // test names another, so that it does not depend on what runs on the host).
    void SetDriverExeName(const QString &strName);

    // The list for the given system name, host addresses and interfaces (in
    // the platform's order): "Environment", "App Version", then "IPAddr" for
    // the first address that is not 127.0.0.1 and has a non-zero IPv4 form,
    // then "MacAddr" for the first interface that is up, running, not a
    // loopback and has a hardware address.
    static EnvironmentList BuildList(const QString &system, const QList<QHostAddress> &addresses,
                                     const QList<SInterface> &interfaces);

private:
    EnvironmentList m_list;
    std::atomic<bool> m_bDriverRunning;
    QString m_strDriverExeName;
};
