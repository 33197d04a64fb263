#include "link/portlink.h"

#include "link/qtseriallink.h"
#include "link/rfc2217link.h"
#include "link/tcplink.h"

std::unique_ptr<SerialLink> MakePortLink(const PortName& port)
{
    switch (port.GetKind()) {
    case PortName::Kind::Socket:
        return std::make_unique<TcpLink>();
    case PortName::Kind::Rfc2217:
        return std::make_unique<Rfc2217Link>();
    case PortName::Kind::None:
    case PortName::Kind::Device:
    case PortName::Kind::Invalid:
        break;
    }
    return std::make_unique<QtSerialLink>();
}
