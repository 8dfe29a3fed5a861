// The injector on a real /dev/uinput (skipped where there is none).

#include "simulatortouchforos.h"
#include "stationclock.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

class TestUinputInjector : public QObject
{
    Q_OBJECT

private:
    // The event node of the injector's virtual device, found by its name.
    static QString EventNode()
    {
        const QDir dir("/sys/class/input");
        const QStringList entries = dir.entryList({"event*"});
        for (const QString &entry : entries) {
            QFile name(dir.filePath(entry) + "/device/name");
            if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "Station touch injector")
                return "/dev/input/" + entry;
        }
        return QString();
    }

private slots:
    void injectedContactsAreSeenAndLifted()
    {
        CSimulatorTouchForOS injector;
        QVERIFY(injector.IsAvailable());
        QString node;
        QVERIFY(QTest::qWaitFor([&]() { return !(node = EventNode()).isEmpty(); }, 2000));
        const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        TouchPoint point{1, 1, 32767, 0, 100, 100, 10, 0};
        QCOMPARE(injector.InjectTouch(&point, 1, 1920, 1080), 0);
        injector.ReleaseAll();
        QList<struct input_event> events;
        const bool bRead = QTest::qWaitFor([&]() {
            struct input_event ev;
            while (::read(fd, &ev, sizeof(ev)) == sizeof(ev))
                events.append(ev);
            return events.size() >= 4;
        }, 2000);
        QVERIFY(bRead);
        ::close(fd);
        bool bX = false, bLift = false;
        for (const struct input_event &ev : qAsConst(events)) {
            bX = bX || (ev.type == EV_ABS && ev.code == ABS_MT_POSITION_X && ev.value == 32767);
            bLift = bLift || (ev.type == EV_ABS && ev.code == ABS_MT_TRACKING_ID && ev.value == -1);
        }
        QVERIFY(bX);
        QVERIFY(bLift);
    }
};

int main(int argc, char *argv[])
{
    if (::access("/dev/uinput", W_OK) != 0)
        return 77; // no uinput on this machine: skipped
    CTestEnvironment::Isolate();
    QCoreApplication app(argc, argv);
    TestUinputInjector tc;
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_uinputinjector.moc"
