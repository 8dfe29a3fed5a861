#include "comportuart.h"

#include "customersettings.h"
#include "devicemode.h"
#include "stationclock.h"
#include "workthread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <QtDebug>

#include <cstring>
#include <memory>

namespace {

constexpr int kPollSliceMs = 200;      // the poll thread's wait; also its longest stop delay
constexpr int kKeepAliveMs = 200;      // silence before a keep-alive is sent
constexpr int kLinkLostMs = 1000;      // silence before the link counts as lost
constexpr int kFrameGapMs = 200;       // silence that ends a half-received frame
constexpr int kKeepAliveTimeoutMs = 30;
constexpr int kFrameBufferSize = 70;   // a 64-byte report with the largest framing
constexpr int kMaxQueuedReplies = 256; // per report id; the oldest go first
// How long a caller waits beyond its own time-out for the poll thread to take
// its write; only a stuck poll thread ever reaches it.
constexpr int kHandOverMarginMs = 1000;
constexpr int kStopWaitMs = 2000;

constexpr uint8_t kLinkApplication = 0xFC;
constexpr uint8_t kLinkBootloader = 0xFD;
constexpr uint8_t kRawReport = 0xFB;
const uint8_t kKeepAlive[] = {0xFE, 0x08, 0x00};

const QString kKeyParity = QStringLiteral("Parity");
const QString kKeyStopBit = QStringLiteral("StopBit");
const QString kKeyFlowControl = QStringLiteral("FlowControl");
const QString kKeyBaudRate = QStringLiteral("BaudRate");
const QString kKeyDataBit = QStringLiteral("DataBit");
const QString kKeyPortName = QStringLiteral("PortName");

struct TextValue
{
    int value;
    const char *text;
};

const TextValue kParityTexts[] = {
    {QSerialPort::NoParity, "No Parity"},       {QSerialPort::EvenParity, "Even Parity"},
    {QSerialPort::OddParity, "Odd Parity"},     {QSerialPort::SpaceParity, "Space Parity"},
    {QSerialPort::MarkParity, "MarkParity"},
};
const TextValue kStopBitTexts[] = {
    {QSerialPort::OneStop, "One Stop(1)"},
    {QSerialPort::OneAndHalfStop, "One And Half Stop(3)"},
    {QSerialPort::TwoStop, "Two Stop(2)"},
};
const TextValue kFlowControlTexts[] = {
    {QSerialPort::NoFlowControl, "No Flow Control"},
    {QSerialPort::HardwareControl, "Hardware Control"},
    {QSerialPort::SoftwareControl, "Software Control"},
};

template <size_t N>
QString TextOf(const TextValue (&table)[N], int value, const char *unknown)
{
    for (const TextValue &entry : table) {
        if (entry.value == value)
            return QString::fromLatin1(entry.text);
    }
    return QString::fromLatin1(unknown);
}

// The value of an exact (case-sensitive) text of the table, else the fallback.
template <size_t N>
bool ValueOf(const TextValue (&table)[N], const QString &text, int fallback, int *value)
{
    for (const TextValue &entry : table) {
        if (text == QLatin1String(entry.text)) {
            *value = entry.value;
            return true;
        }
    }
    *value = fallback;
    return false;
}

bool NumberOf(const QString &text, int fallback, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    *value = ok ? number : fallback;
    return ok;
}

} // namespace

CComPortUart::CComPortUart(const QString &portName, QObject *parent)
    : CComPort(parent),
      m_nBaudRate(QSerialPort::Baud115200),
      m_nParity(QSerialPort::NoParity),
      m_nStopBits(QSerialPort::OneStop),
      m_nDataBits(QSerialPort::Data8),
      m_nFlowControl(QSerialPort::NoFlowControl),
      m_nLastWriteResult(0),
      m_pPollThread(nullptr),
      m_bRunning(false),
      m_nFrameHead(PACKET_HEAD_1FF7),
      m_nDeviceMode(uint32_t(ERROR_CODE_LOST_DEVICE)),
      m_bConnected(false),
      m_nLastRecvMs(0),
      m_nLinkByte(kLinkApplication),
      m_nInterfaceState(0),
      m_bLineOpen(false),
      m_pOwnerThread(QThread::currentThread()),
      m_parser{},
      m_recvBuffer{},
      m_nLastByteMs(0),
      m_bClosePending(false)
{
    CCustomerSettings *settings = CCustomerSettings::GetInstance();
    SetParity(settings->GetString(kKeyParity, QStringLiteral("0")));
    SetStopBits(settings->GetString(kKeyStopBit, QStringLiteral("1")));
    SetFlowControl(settings->GetString(kKeyFlowControl, QStringLiteral("0")));
    SetBaudRate(settings->GetString(kKeyBaudRate, QStringLiteral("115200")));
    SetDataBits(settings->GetString(kKeyDataBit, QStringLiteral("8")));
    SetPortName(settings->GetString(kKeyPortName, QString()));

    m_serialPort.setBaudRate(m_nBaudRate, QSerialPort::AllDirections);
    m_serialPort.setDataBits(static_cast<QSerialPort::DataBits>(m_nDataBits));
    m_serialPort.setStopBits(static_cast<QSerialPort::StopBits>(m_nStopBits));
    m_serialPort.setFlowControl(static_cast<QSerialPort::FlowControl>(m_nFlowControl));
    m_serialPort.setParity(static_cast<QSerialPort::Parity>(m_nParity));
    m_serialPort.setPortName(m_strPortName);

    m_pPollThread = new CWorkThread(PollLoop, this, nullptr, false);
    m_bRunning = true;

    if (!portName.isEmpty()) {
        m_strPortName = portName;
        Open();
    }
}

CComPortUart::~CComPortUart()
{
    StopPolling();
    delete m_pPollThread;
    m_pPollThread = nullptr;
}

bool CComPortUart::IsConnected()
{
    return m_bConnected.load();
}

int32_t CComPortUart::SetRecvEnable(uint8_t enable, int devIndex)
{
    Q_UNUSED(enable);
    Q_UNUSED(devIndex);
    return 0;
}

int32_t CComPortUart::ClaimDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    qInfo().noquote() << "ClaimDeviceInterface.";
    int32_t released = 0;
    m_nInterfaceState.compare_exchange_strong(released, 1);
    return 0;
}

int32_t CComPortUart::ReleaseDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    qInfo().noquote() << "ReleaseDeviceInterface.";
    int32_t claimed = 1;
    if (m_nInterfaceState.compare_exchange_strong(claimed, 0)) {
        QMutexLocker lock(&m_queueMutex);
        m_replyArrived.wakeAll(); // a waiting RecvData gives up
    }
    return 0;
}

uint32_t CComPortUart::GetDeviceMode()
{
    return m_nDeviceMode.load();
}

int32_t CComPortUart::GetVid()
{
    return 0;
}

int32_t CComPortUart::GetPid()
{
    return 0;
}

int32_t CComPortUart::GetVersion()
{
    return 0;
}

int32_t CComPortUart::SetUpgradeStatus(uint8_t bUpgrade)
{
    Q_UNUSED(bUpgrade);
    return 0;
}

int32_t CComPortUart::SendData(const uint8_t *buf, int len, int timeout, int devIndex)
{
    Q_UNUSED(devIndex);
    return SendFramed(buf, len, timeout, m_nFrameHead.load(), true);
}

int32_t CComPortUart::SendFrame(const uint8_t *buf, int len, int timeout, int devIndex, uint32_t head)
{
    Q_UNUSED(devIndex);
    return SendFramed(buf, len, timeout, head, true);
}

int32_t CComPortUart::RecvData(uint8_t *buf, int len, int timeout, int devIndex)
{
    Q_UNUSED(devIndex);
    if (!m_bLineOpen.load())
        return ERROR_CODE_LOST_DEVICE;

    const qint64 start = CStationClock::NowMs();
    QMutexLocker lock(&m_queueMutex);
    for (;;) {
        if (!m_replyQueues[m_nLinkByte.load()].isEmpty())
            break;
        const qint64 elapsed = CStationClock::NowMs() - start;
        if (elapsed >= timeout)
            break;
        if (m_nInterfaceState.load() != 1 || !m_bLineOpen.load())
            return ERROR_CODE_LOST_DEVICE;
        m_replyArrived.wait(&m_queueMutex, static_cast<unsigned long>(timeout - elapsed));
    }
    if (m_nInterfaceState.load() != 1)
        return ERROR_CODE_LOST_DEVICE;
    QList<TouchData> &queue = m_replyQueues[m_nLinkByte.load()];
    if (queue.isEmpty())
        return ERROR_CODE_TIMEOUT;
    const TouchData record = queue.takeFirst();
    const int n = (buf && len > 0) ? qMin(len, int(record.length)) : 0;
    if (n > 0)
        std::memcpy(buf, record.report, size_t(n));
    return n;
}

int32_t CComPortUart::SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                                      int devIndex)
{
    const int32_t sent = SendData(wbuf, wlen, timeout, devIndex);
    if (IsPortError(sent))
        return sent;
    return RecvData(rbuf, rlen, timeout, devIndex);
}

int32_t CComPortUart::OnLinkState(uint32_t head, uint8_t linkByte)
{
    m_nLastRecvMs = CStationClock::NowMs();
    if (linkByte == kRawReport || (linkByte != kLinkApplication && linkByte != kLinkBootloader))
        return 1;

    bool inserted = false;
    bool switched = false;
    {
        QMutexLocker lock(&m_linkMutex);
        if (!m_bConnected.load()) {
            inserted = true;
        } else if (linkByte != m_nLinkByte.load()) {
            switched = true;
        } else {
            return 1;
        }
        m_nLinkByte = linkByte;
        m_nDeviceMode = linkByte == kLinkBootloader ? DEVICE_MODE_BOOTLOADER : DEVICE_MODE_APPLICATION;
        // Reports go out only as 1F F7 or 2F E9 frames.
        if (head == PACKET_HEAD_1FF7 || head == PACKET_HEAD_2FE9)
            m_nFrameHead = head;
        m_bConnected = true;
    }
    if (switched)
        emit DeviceInsert(false);
    if (inserted || switched)
        emit DeviceInsert(true);
    return 1;
}

int CComPortUart::Open()
{
    StopPolling();
    m_pOwnerThread = QThread::currentThread();

    m_serialPort.setPortName(m_strPortName);
    if (!m_serialPort.open(QIODevice::ReadWrite)) {
        qWarning().noquote() << QStringLiteral("Cannot open serial port %1: %2")
                                    .arg(m_strPortName, m_serialPort.errorString());
        m_nInterfaceState = -1;
        return -1;
    }
    m_serialPort.setBaudRate(m_nBaudRate, QSerialPort::AllDirections);
    m_serialPort.setDataBits(static_cast<QSerialPort::DataBits>(m_nDataBits));
    m_serialPort.setParity(static_cast<QSerialPort::Parity>(m_nParity));
    m_serialPort.setStopBits(static_cast<QSerialPort::StopBits>(m_nStopBits));
    m_serialPort.setFlowControl(static_cast<QSerialPort::FlowControl>(m_nFlowControl));

    // Both run on the thread that owns the line.
    const auto direct = Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection);
    connect(&m_serialPort, &QSerialPort::readyRead, this, &CComPortUart::MsgRecvDataEvent, direct);
    connect(&m_serialPort, &QSerialPort::errorOccurred, this, &CComPortUart::OnLineError, direct);

    // The parameters in use, as texts; a text already stored is not written again.
    CCustomerSettings *settings = CCustomerSettings::GetInstance();
    const QPair<QString, QString> texts[] = {
        {kKeyParity, GetParity()},     {kKeyStopBit, GetStopBits()}, {kKeyFlowControl, GetFlowControl()},
        {kKeyBaudRate, GetBaudRate()}, {kKeyDataBit, GetDataBits()}, {kKeyPortName, GetPortName()},
    };
    for (const auto &text : texts) {
        if (settings->value(text.first).toString() != text.second || !settings->contains(text.first))
            settings->SetString(text.first, text.second);
    }

    m_parser = PacketContext{};
    m_nLastByteMs = CStationClock::NowMs();
    m_nLastRecvMs = CStationClock::NowMs();

    // From here on the line belongs to the poll thread.
    m_serialPort.moveToThread(m_pPollThread);
    {
        QMutexLocker lock(&m_lineMutex);
        m_bLineOpen = true;
    }
    m_bRunning = true;
    m_pPollThread->Start(false);
    m_nInterfaceState = 1;
    return 0;
}

void CComPortUart::PollLoop(void *port)
{
    static_cast<CComPortUart *>(port)->RunPoll();
}

void CComPortUart::RunPoll()
{
    // One slice: wait for data, for a write handed over by another thread, or
    // for the slice timer, whichever comes first; the link is checked on every
    // tick of the timer.
    QTimer slice;
    slice.setTimerType(Qt::PreciseTimer);
    slice.setInterval(CStationClock::Timeout(kPollSliceMs));
    connect(&slice, &QTimer::timeout, &slice, [this] {
        if (m_bLineOpen.load())
            CheckLink();
        else
            DropLink(); // the line went away: so did the frame
    });
    slice.start();
    if (m_bLineOpen.load())
        CheckLink();

    QEventLoop loop;
    while (m_bRunning.load())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    slice.stop();

    CloseLine();
    // Answer every write handed over while the line was open (they find it
    // closed), finish the line's own deferred work, then hand the port back.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_serialPort.moveToThread(m_pOwnerThread);
}

void CComPortUart::StopPolling()
{
    if (!m_pPollThread || !m_pPollThread->isRunning())
        return;
    m_bRunning = false;
    if (QAbstractEventDispatcher *dispatcher = m_pPollThread->eventDispatcher())
        dispatcher->wakeUp();
    if (!m_pPollThread->wait(QDeadlineTimer(kStopWaitMs)))
        qCritical().noquote() << "Serial poll thread does not stop.";
}

void CComPortUart::CheckLink()
{
    const qint64 silent = CStationClock::NowMs() - m_nLastRecvMs.load();
    // The keep-alive leaves the reply queues alone: a reply that came in just
    // before it still belongs to the command waiting for it.
    if (silent > CStationClock::Timeout(kKeepAliveMs))
        SendFramed(kKeepAlive, int(sizeof(kKeepAlive)), kKeepAliveTimeoutMs, PACKET_HEAD_2FE9, false);
    if (silent > CStationClock::Timeout(kLinkLostMs))
        DropLink();
}

void CComPortUart::DropLink()
{
    {
        QMutexLocker lock(&m_linkMutex);
        if (!m_bConnected.load())
            return;
        m_nFrameHead = PACKET_HEAD_1FF7;
        m_bConnected = false;
        m_nLinkByte = kLinkApplication;
    }
    emit DeviceInsert(false);
}

int32_t CComPortUart::SendFramed(const uint8_t *buf, int len, int timeout, uint32_t head, bool bClearReplies)
{
    if (bClearReplies) {
        QMutexLocker lock(&m_queueMutex);
        m_replyQueues[m_nLinkByte.load()].clear();
    }
    if (!m_bLineOpen.load())
        return ERROR_CODE_LOST_DEVICE;

    uint8_t frame[kFrameBufferSize] = {};
    const int n = PacketBuild(frame, kFrameBufferSize, buf, len, head);
    if (n <= 0)
        return ERROR_CODE_LOST_DEVICE;
    const int32_t written = WriteFrame(QByteArray(reinterpret_cast<const char *>(frame), n), timeout);
    if (written == n || written == ERROR_CODE_TIMEOUT)
        return written;
    return ERROR_CODE_LOST_DEVICE; // a failed or short write
}

bool CComPortUart::OnLineThread() const
{
    return QThread::currentThread() == m_serialPort.thread();
}

int32_t CComPortUart::WriteFrame(const QByteArray &frame, int timeout)
{
    if (OnLineThread())
        return writeData(frame, timeout);

    struct Pending
    {
        QSemaphore done;
        std::atomic<int32_t> result{ERROR_CODE_LOST_DEVICE};
    };
    const auto pending = std::make_shared<Pending>();
    {
        // The poll thread answers every call handed over while the line is
        // open before it lets the line go.
        QMutexLocker lock(&m_lineMutex);
        if (!m_bLineOpen.load())
            return ERROR_CODE_LOST_DEVICE;
        QMetaObject::invokeMethod(
            &m_serialPort,
            [this, pending, frame, timeout] {
                pending->result = writeData(frame, timeout);
                pending->done.release();
            },
            Qt::QueuedConnection);
    }
    if (!pending->done.tryAcquire(1, qMax(timeout, 0) + kHandOverMarginMs)) {
        qWarning().noquote() << "Serial poll thread did not take the write in time.";
        return ERROR_CODE_TIMEOUT;
    }
    return pending->result.load();
}

int32_t CComPortUart::writeData(QByteArray byteArray, int32_t nTimeOut)
{
    if (!OnLineThread())
        return WriteFrame(byteArray, nTimeOut);

    int32_t result = ERROR_CODE_LOST_DEVICE;
    if (m_serialPort.isOpen()) {
        if (m_serialPort.error() == QSerialPort::ResourceError) {
            CloseLine();
            DropLink();
        } else {
            const qint64 written = m_serialPort.write(byteArray);
            result = written < 0 ? -1 : int32_t(written);
            if (written > 0)
                m_serialPort.flush();
        }
    }
    m_nLastWriteResult = result;
    emit writeDataFinished(result);
    return result;
}

int32_t CComPortUart::writeData(QByteArray byteArray)
{
    return writeData(byteArray, 0);
}

int CComPortUart::MsgRecvDataEvent()
{
    if (!OnLineThread()) {
        QMetaObject::invokeMethod(&m_serialPort, [this] { MsgRecvDataEvent(); }, Qt::QueuedConnection);
        return 0;
    }
    for (;;) {
        const qint64 n = m_serialPort.read(reinterpret_cast<char *>(m_recvBuffer), qint64(sizeof(m_recvBuffer)));
        if (n <= 0)
            break;
        HandleReceived(m_recvBuffer, int(n));
    }
    return 0;
}

void CComPortUart::HandleReceived(const uint8_t *data, int len)
{
    const qint64 now = CStationClock::NowMs();
    // A frame that stopped half-way before a pause is dropped, so that it does
    // not swallow the start of the next one.
    if (now - m_nLastByteMs > CStationClock::Timeout(kFrameGapMs))
        PacketReset(&m_parser);
    m_nLastByteMs = now;
    m_nLastRecvMs = now; // any data keeps the link alive

    int pos = 0;
    while (pos < len) {
        const int taken = PacketParse(&m_parser, data + pos, len - pos);
        if (taken < 1)
            break;
        pos += taken;
        // Only a complete frame with a valid checksum counts; an empty frame
        // carries no report id.
        if (m_parser.state != PACKET_STATE_DONE || m_parser.expectedLength < 1)
            continue;
        TouchData record{};
        record.length = uint32_t(qMin(m_parser.expectedLength, int(sizeof(record.report))));
        std::memcpy(record.report, m_parser.body, record.length);
        OnLinkState(m_parser.head, m_parser.body[0]);
        QueueReply(record);
    }
}

void CComPortUart::QueueReply(const TouchData &record)
{
    const uint8_t id = record.report[0];
    bool firstOverflow = false;
    {
        QMutexLocker lock(&m_queueMutex);
        QList<TouchData> &queue = m_replyQueues[id];
        if (queue.size() >= kMaxQueuedReplies) {
            queue.removeFirst();
            if (!m_overflowReported.contains(id)) {
                m_overflowReported.append(id);
                firstOverflow = true;
            }
        }
        queue.append(record);
        m_replyArrived.wakeAll();
    }
    if (firstOverflow)
        qWarning().noquote() << QStringLiteral("Serial reports 0x%1 are not read; the oldest are dropped.")
                                    .arg(QString::number(id, 16).toUpper().rightJustified(2, QLatin1Char('0')));
}

void CComPortUart::CloseLine()
{
    {
        QMutexLocker lock(&m_lineMutex);
        m_bLineOpen = false;
    }
    if (m_serialPort.isOpen()) {
        m_serialPort.clear(QSerialPort::AllDirections);
        m_serialPort.close();
    }
    QMutexLocker lock(&m_queueMutex);
    m_replyArrived.wakeAll();
}

void CComPortUart::OnLineError(QSerialPort::SerialPortError error)
{
    // A removed adapter reports a resource error; a line that hangs up (a
    // closed pseudo-terminal) fails every read with EIO, which Qt reports as
    // a read error over and over. Either way the line is gone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || m_bClosePending || !m_bLineOpen.load())
        return;
    m_bClosePending = true;
    qWarning().noquote() << QStringLiteral("Serial port %1 lost (%2), closed.")
                                .arg(m_serialPort.portName(),
                                     error == QSerialPort::ResourceError ? QStringLiteral("device removed")
                                                                         : QStringLiteral("read failed"));
    // Closed outside the port's own signal.
    QMetaObject::invokeMethod(
        &m_serialPort,
        [this] {
            m_bClosePending = false;
            if (m_serialPort.isOpen()) {
                CloseLine();
                DropLink();
            }
        },
        Qt::QueuedConnection);
}

QString CComPortUart::GetParity() const
{
    return TextOf(kParityTexts, m_serialPort.parity(), "Unknown Parity");
}

bool CComPortUart::SetParity(const QString &text)
{
    return ValueOf(kParityTexts, text, QSerialPort::NoParity, &m_nParity);
}

QString CComPortUart::GetStopBits() const
{
    return TextOf(kStopBitTexts, m_serialPort.stopBits(), "Unknown Stop Bits");
}

bool CComPortUart::SetStopBits(const QString &text)
{
    return ValueOf(kStopBitTexts, text, QSerialPort::OneStop, &m_nStopBits);
}

QString CComPortUart::GetFlowControl() const
{
    return TextOf(kFlowControlTexts, m_serialPort.flowControl(), "Unknown Flow Control");
}

bool CComPortUart::SetFlowControl(const QString &text)
{
    return ValueOf(kFlowControlTexts, text, QSerialPort::NoFlowControl, &m_nFlowControl);
}

QString CComPortUart::GetDataBits() const
{
    const int bits = m_serialPort.dataBits();
    return bits >= QSerialPort::Data5 && bits <= QSerialPort::Data8 ? QString::number(bits)
                                                                     : QStringLiteral("-1");
}

bool CComPortUart::SetDataBits(const QString &text)
{
    return NumberOf(text, QSerialPort::Data8, &m_nDataBits);
}

QString CComPortUart::GetBaudRate() const
{
    return QString::number(m_serialPort.baudRate());
}

bool CComPortUart::SetBaudRate(const QString &text)
{
    return NumberOf(text, QSerialPort::Baud115200, &m_nBaudRate);
}

QString CComPortUart::GetPortName() const
{
    return m_serialPort.portName();
}

bool CComPortUart::SetPortName(const QString &text)
{
    m_strPortName = text;
    return true;
}
