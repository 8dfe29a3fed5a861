// The udev rule shipped with the station grants exactly the built-in
// supported frames, and sorts before the rule that applies "uaccess".

#include "testenvironment.h"
#include "touchdevice.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

class TestUdevRule : public QObject
{
    Q_OBJECT

private slots:
    void ruleMatchesTheBuiltinList()
    {
        const QString path = QStringLiteral(STATION_UDEV_RULE);
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        QVERIFY(QFileInfo(path).fileName() < QString("73-seat-late.rules"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QSet<QString> granted;
        bool bUinput = false;
        const QRegularExpression hidraw(
            R"re(^SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})"(?:, ATTRS\{idProduct\}=="([0-9a-f]{4})")?, TAG\+="uaccess"$)re");
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const QRegularExpressionMatch m = hidraw.match(line);
            if (m.hasMatch()) {
                granted.insert(m.captured(1) + ":" + (m.captured(2).isEmpty() ? QString("ffff") : m.captured(2)));
                continue;
            }
            QVERIFY2(line.startsWith("KERNEL==\"uinput\""), qPrintable(line));
            QVERIFY(line.contains("MODE=\"0660\""));
            QVERIFY(!line.contains("uaccess")); // not handed to every seat user
            bUinput = true;
        }
        QVERIFY(bUinput);
        CTouchDevice::InitSupportedVidPidList();
        QSet<QString> builtin;
        for (const VidPid &pair : CTouchDevice::GetBuiltinVidPidList())
            builtin.insert(QString::asprintf("%04x:%04x", pair.vid, pair.pid));
        QCOMPARE(granted, builtin);
    }
};

STATION_TEST_MAIN_CORE(TestUdevRule)
#include "tst_udevrule.moc"
