#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class CMockedKernel;

// A recorded /dev/uinput in the mocked kernel: the node
// (/devices/virtual/misc/uinput) and a model that accepts the ioctls that
// declare and create a virtual input device, remembers what was declared,
// and records every input event written to it, in order.
class CMockedUinput
{
public:
    struct Event
    {
        uint16_t type;
        uint16_t code;
        int32_t value;
        bool operator==(const Event &o) const { return type == o.type && code == o.code && value == o.value; }
    };
    struct Axis
    {
        int32_t nMin = 0;
        int32_t nMax = 0;
        int32_t nResolution = 0;
    };
    // What a program declared through the node.
    struct Declaration
    {
        QString name;
        uint16_t nBusType = 0;
        QList<int> evBits, keyBits, absBits, propBits;
        QMap<int, Axis> axes; // by ABS_ code
        bool bCreated = false;
        bool bDestroyed = false;
        QList<unsigned long> unknownRequests;
    };

    explicit CMockedUinput(CMockedKernel *pKernel);
    ~CMockedUinput();
    CMockedUinput(const CMockedUinput &) = delete;
    CMockedUinput &operator=(const CMockedUinput &) = delete;

    static QString DevNode() { return QStringLiteral("/dev/uinput"); }

    // The next ioctl with this request fails with nErrno (0: no failure).
    void FailRequest(unsigned long nRequest, int nErrno);

    Declaration Declared() const;
    QList<Event> Events() const;
    void ClearEvents();
    int OpenCount() const;

    struct State;

private:
    CMockedKernel *m_pKernel;
    std::shared_ptr<State> m_state;
};
