#include "link/qtseriallink.h"

#ifdef Q_OS_UNIX
#include "link/portclaim.h"
#include "platform/filestatus.h"
#include "platform/serialline.h"
#endif

#include "db/location/nativename.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QThread>
#include <algorithm>
#include <limits>
#include <thread>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

using Reason = PortOpenFailure::Reason;

// Why the port could not be opened. systemReason, when given, is the
// system's own word for a failed open.
PortOpenFailure describeOpenFailure(const PortName& portName, const QSerialPort& port,
                                    const QString& systemReason = {})
{
    if (portName.IsNone())
        return {Reason::NoPortChosen,
                QtSerialLink::tr("No serial port is chosen: choose one in the options.")};
    const QString location = portName.ShownLocation();
#ifdef Q_OS_UNIX
    const QByteArray& path = portName.DevicePath();
    if (!platform::StatusOf(path).Exists())
        return {Reason::NoSuchDevice, QtSerialLink::tr("There is no serial port %1 (%2 does not "
                                                       "exist).")
                                          .arg(portName.Shown(), location)};
    if (platform::ReadWriteAccess(path).Is(std::errc::permission_denied)) {
        const QString group = platform::OwningGroupName(path);
        if (group.isEmpty())
            return {Reason::NoPermission,
                    QtSerialLink::tr("Permission denied on %1: your user must belong to the "
                                     "group that owns the device.")
                        .arg(location)};
        return {Reason::NoPermission,
                QtSerialLink::tr("Permission denied on %1: your user must belong to the group "
                                 "\"%2\" that owns the device (sudo usermod -aG %2 $USER, then "
                                 "log in again).")
                    .arg(location, group)};
    }
    if (port.error() == QSerialPort::PermissionError)
        return {Reason::Held,
                QtSerialLink::tr("The port %1 is held by another program.").arg(location)};
    if (!systemReason.isEmpty())
        return {Reason::Other, QStringLiteral("%1: %2").arg(location, systemReason)};
#else
    if (port.error() == QSerialPort::DeviceNotFoundError)
        return {Reason::NoSuchDevice,
                QtSerialLink::tr("There is no serial port %1.").arg(portName.Shown())};
    if (port.error() == QSerialPort::PermissionError)
        return {Reason::Held,
                QtSerialLink::tr("The port %1 is held by another program, or you may not use it.")
                    .arg(portName.Shown())};
#endif
    return {Reason::Other, QStringLiteral("%1: %2").arg(location, port.errorString())};
}

#ifdef Q_OS_UNIX
// Why the device cannot be used; Reason::None once it is held for this
// download.
PortOpenFailure describeClaimFailure(const PortName& portName, PortClaim::Result claimed,
                                     const QString& why, const QSerialPort& port)
{
    const QString location = portName.ShownLocation();
    switch (claimed) {
    case PortClaim::Result::Claimed:
        break;
    case PortClaim::Result::NotSerial:
        return {Reason::NotSerial,
                QtSerialLink::tr("%1 is not a serial port: it is %2.").arg(location, why)};
    case PortClaim::Result::Held: {
        // Under another name than the one given, say which device it is.
        const QString device = ShownFileName(QFileInfo(portName.Location()).canonicalFilePath());
        return {Reason::Held, QtSerialLink::tr("The port %1 is held by another program.")
                                  .arg(device.isEmpty() || device == location
                                           ? location
                                           : QStringLiteral("%1 (%2)").arg(location, device))};
    }
    case PortClaim::Result::Gone:
        return {Reason::NoSuchDevice, QtSerialLink::tr("There is no serial port %1 (%2: %3).")
                                          .arg(portName.Shown(), location, why)};
    case PortClaim::Result::OpenFailed:
        return describeOpenFailure(portName, port, why);
    }
    return {};
}
#endif

} // namespace

QtSerialLink::QtSerialLink() = default;

QtSerialLink::~QtSerialLink()
{
    Close();
}

bool QtSerialLink::Open(const PortName& portName)
{
    Close();
    ClearOpenFailure();
    if (!portName.IsValid()) {
        FailOpen(Reason::BadName, portName.Problem());
        return false;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(portName.Location());
    // A far end that floods the line cannot grow our memory: beyond this the
    // bytes wait in the driver until the download takes them.
    port->setReadBufferSize(kMostBuffered);
#ifdef Q_OS_UNIX
    auto claim = std::make_unique<PortClaim>();
    if (!portName.IsNone()) {
        const PortClaim::Result claimed = claim->Take(portName.DevicePath());
        PortOpenFailure unusable = describeClaimFailure(portName, claimed, claim->Why(), *port);
        if (unusable.reason != Reason::None) {
            FailOpen(std::move(unusable));
            return false;
        }
    }
    // Read before the open, which changes them.
    auto saved = std::make_unique<platform::SavedLineSettings>(portName.DevicePath());
#endif
    if (portName.IsNone() || !port->open(QIODevice::ReadWrite)) {
        FailOpen(describeOpenFailure(portName, *port));
        return false;
    }
#ifdef Q_OS_UNIX
    saved->Release();
    saved->MakeRaw(port->handle());
    m_saved = std::move(saved);
    m_claim = std::move(claim);
#endif
    m_port = std::move(port);
    DeviceLink::CancelIo();
    return true;
}

void QtSerialLink::Close()
{
    DeviceLink::CancelIo();
    if (m_port) {
#ifdef Q_OS_UNIX
        if (m_saved)
            m_saved->Restore(m_port->handle());
#endif
        m_port->close();
        m_port.reset();
    }
#ifdef Q_OS_UNIX
    m_saved.reset();
    m_claim.reset();
#endif
}

void QtSerialLink::SetLineFormat()
{
    if (!m_port)
        return;
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
#ifdef Q_OS_UNIX
    if (m_saved)
        m_saved->MakeRaw(m_port->handle());
#endif
}

void QtSerialLink::RaiseRts()
{
    if (m_port)
        m_port->setRequestToSend(true);
}

void QtSerialLink::RaiseDtr()
{
    if (m_port)
        m_port->setDataTerminalReady(true);
}

void QtSerialLink::ClearErrors()
{
    if (m_port)
        m_port->clearError();
}

void QtSerialLink::PurgeInput()
{
    if (m_port)
        m_port->clear(QSerialPort::Input);
}

void QtSerialLink::PurgeOutput()
{
    if (m_port)
        m_port->clear(QSerialPort::Output);
}

int QtSerialLink::Arrived()
{
    if (!m_port)
        return 0;
    m_port->waitForReadyRead(0);
    return static_cast<int>(
        std::min<qint64>(m_port->bytesAvailable(), std::numeric_limits<int>::max()));
}

// What the port has received so far, without waiting.
qint64 QtSerialLink::TakeArrived(quint8* into, qint64 most)
{
    if (!m_port)
        return 0;
    if (m_port->bytesAvailable() < most)
        m_port->waitForReadyRead(0);
    return std::max<qint64>(0, m_port->read(reinterpret_cast<char*>(into), most));
}

QIODevice* QtSerialLink::Device() const
{
    return m_port.get();
}

bool QtSerialLink::AwaitBytes(bool /*frameBegun*/)
{
    // Once a frame has begun it is only awaited: rather than have the caller
    // spin meanwhile, wait here for the next bytes, at most a millisecond.
    m_port->waitForReadyRead(1);
    return true;
}

bool QtSerialLink::Send(const quint8* data, int size)
{
    if (m_port->write(reinterpret_cast<const char*>(data), size) != size)
        return false;
    // Hands the bytes to the driver now. A driver that takes nothing more for
    // the moment (its queue full, output held back) keeps them for the wait;
    // a port that is gone fails.
    if (!m_port->flush() && m_port->bytesToWrite() > 0 && PortBroken()) {
        m_port->clear(QSerialPort::Output);
        return false;
    }
    m_port->clearError();
    return true;
}

bool QtSerialLink::PortBroken() const
{
    if (m_port->error() == QSerialPort::WriteError)
        return true;
    if (m_port->error() != QSerialPort::ResourceError)
        return false;
#ifdef Q_OS_UNIX
    // Qt reports "try again later" and "the device is gone" alike.
    return platform::IsLineBroken(m_port->handle());
#else
    return true;
#endif
}

bool QtSerialLink::OutputDrained() const
{
#if defined(Q_OS_UNIX)
    return platform::IsOutputDrained(m_port->handle());
#elif defined(Q_OS_WIN)
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(m_port->handle(), &errors, &status))
        return status.cbOutQue == 0;
    return true;
#else
    return true;
#endif
}

SerialLink::Result QtSerialLink::WriteStalled()
{
    if (m_port->error() == QSerialPort::TimeoutError || WriteTimeLeft() <= 0) {
        m_port->clearError();
        return Result::PortTimeout;
    }
    // A dead port fails at once; don't let the caller spin on it.
    std::this_thread::sleep_for(std::chrono::nanoseconds(kByteTimeNanoseconds));
    return Result::Failed;
}

// Out of the driver's queue onto the line.
SerialLink::Result QtSerialLink::AwaitOnLine()
{
    while (!OutputDrained()) {
        if (WriteTimeLeft() <= 0)
            return Result::PortTimeout;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return Result::Completed;
}
