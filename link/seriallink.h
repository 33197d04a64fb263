#pragma once

#include "link/portname.h"

#include <QString>
#include <QtGlobal>

// Why a port could not be opened: the kind, which decides whether trying
// again may help, and the words for the user, which say what to do about it.
struct PortOpenFailure
{
    enum class Reason
    {
        None,         // the port opened
        NoPortChosen, // an empty name
        BadName,      // a name that cannot be a port
        NoSuchDevice, // no device by that name, or its node left behind
        NoPermission, // the user may not use the device
        NotSerial,    // a file, a folder, a device that is no serial line
        Held,         // another read or program holds the port
        HostUnknown,  // a network port's host is not known
        Refused,      // nothing listens on the network port
        NoAnswer,     // the server did not answer in time
        Closed,       // the server closed the connection, or broke it off
        Declined,     // the server declined what the port needs of it
        Other,        // any other reason the system gives
    };

    Reason reason = Reason::None;
    QString text;

    // Whether the same failure awaits every try until someone mends it.
    bool Lasts() const
    {
        return reason == Reason::NoPortChosen || reason == Reason::BadName ||
               reason == Reason::NoSuchDevice || reason == Reason::NoPermission ||
               reason == Reason::NotSerial;
    }
};

// The serial port as the download sees it: the operations of one download in
// the order of use, each start or poll reporting one of four outcomes. The
// download logic is written against this interface only, so it runs the same
// on every platform and can be driven by a scripted link in tests.
class SerialLink
{
public:
    enum class Result
    {
        Completed,   // the operation has ended; for a read, the byte count is given
        Pending,     // under way
        PortTimeout, // the port's own time-out
        Failed,      // any other failure
    };

    virtual ~SerialLink() = default;

    // The completion signals of the write and of the read. The download ends
    // without a message when they cannot be made.
    virtual bool MakeSignals() = 0;
    virtual void CloseSignals() = 0;

    // Opens the port for this program's exclusive use. After a failure,
    // OpenFailure() tells why.
    virtual bool Open(const PortName& portName) = 0;
    // A name as the port list shows it ("ttyS0", "COM3") or a device path.
    bool Open(const QString& portName) { return Open(PortName::Parse(portName)); }
    virtual PortOpenFailure OpenFailure() const = 0;
    // Ends any read or write still under way.
    virtual void Close() = 0;

    // 9600 baud, 8 data bits, no parity, 1 stop bit: a raw binary line, with
    // only the hardware handshaking kept as found.
    virtual void SetLineFormat() = 0;
    // Results not examined: a pseudo-terminal has no control lines.
    virtual void RaiseRts() = 0;
    virtual void RaiseDtr() = 0;
    virtual void ClearErrors() = 0;
    virtual void CancelIo() = 0;
    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
    // A read ends early when this long passes without a byte after the first.
    virtual void SetReadIntervalTimeout(int milliseconds) = 0;
    // A read ends, whole or not, when this long has passed since its first
    // byte arrived.
    virtual void SetReadFrameBound(int milliseconds) = 0;
    // Reads and drops whatever bytes have arrived, without waiting; returns
    // how many. Only while no read is under way.
    virtual int DiscardArrived() = 0;
    // How many bytes have arrived and wait to be read, without waiting or
    // taking them.
    virtual int Arrived() = 0;

    // Starts a read of size bytes into buffer, which must stay valid until the
    // read has completed or the port is closed. Completed means the read
    // ended at once, with *bytesRead bytes.
    virtual Result StartRead(quint8* buffer, int size, int* bytesRead) = 0;
    // Completed with the count in *bytesRead; Pending while the read is under
    // way, after waiting a millisecond at most for bytes to come, with the
    // bytes so far in *bytesRead where the link tells them.
    virtual Result PollRead(int* bytesRead) = 0;

    // Starts sending; Completed when the bytes have already left for the line,
    // Pending when they are on their way.
    virtual Result StartWrite(const quint8* data, int size) = 0;
    // Blocks until the bytes of the pending write have left for the line:
    // Completed, PortTimeout when that takes longer than the link allows, or
    // Failed (the write then still counts as pending).
    virtual Result WaitWrite() = 0;
};
