#include "mlpphymultiusb.h"

#include "mlpphyaddress.h"

#include <libusb.h>

namespace marlune::MLP {

MLPPhyMultiUsb::MLPPhyMultiUsb() = default;

MLPPhyMultiUsb::~MLPPhyMultiUsb() = default;

void MLPPhyMultiUsb::open(const std::string& address)
{
    const auto index = MLPPhyAddress::multi().parseIndex(address);
    if (!index) {
        close();
        return;
    }
    openIndex(*index);
}

int32_t MLPPhyMultiUsb::enumerate()
{
    m_ftdiCount = m_ftdi.enumerate();
    m_mlCount = m_ml.enumerate();
    m_enumerated = true;
    return m_ftdiCount + m_mlCount;
}

int32_t MLPPhyMultiUsb::enumerateKind(MLPLinkKind kind, const std::string& portPath)
{
    switch (kind) {
    case MLPLinkKind::FtdiBridge:
        m_ftdiCount = m_ftdi.enumerate();
        m_mlCount = 0;
        break;
    case MLPLinkKind::MakerUsb:
        m_ftdiCount = 0;
        m_mlCount = portPath.empty() ? m_ml.enumerate() : m_ml.enumerateAt(portPath);
        break;
    case MLPLinkKind::Unknown:
        return enumerate();
    }
    m_enumerated = true;
    return m_ftdiCount + m_mlCount;
}

void MLPPhyMultiUsb::openIndex(int32_t index)
{
    if (!m_enumerated) {
        enumerate();
    }
    if (m_current != nullptr) {
        m_current->close();
    }
    if (index < m_ftdiCount) {
        m_current = &m_ftdi;
        m_ftdi.openIndex(index);
    } else if (index - m_ftdiCount < m_mlCount) {
        m_current = &m_ml;
        m_ml.openIndex(index - m_ftdiCount);
    }
}

MLPLinkKind MLPPhyMultiUsb::linkKindAt(int32_t index) const
{
    if (!m_enumerated || index < 0) {
        return MLPLinkKind::Unknown;
    }
    if (index < m_ftdiCount) {
        return MLPLinkKind::FtdiBridge;
    }
    if (index - m_ftdiCount < m_mlCount) {
        return MLPLinkKind::MakerUsb;
    }
    return MLPLinkKind::Unknown;
}

int32_t MLPPhyMultiUsb::heldBridgeCount() const
{
    return m_ftdi.heldBridgeCount();
}

bool MLPPhyMultiUsb::bridgeOpenRefused() const
{
    return m_current == &m_ftdi && m_ftdi.openRefused();
}

MLPPhyMultiUsb::OpenRefusal MLPPhyMultiUsb::openRefusal() const
{
    if (bridgeOpenRefused()) {
        return OpenRefusal::Held;
    }
    switch (m_ml.openStatus()) {
    case 0:
        return OpenRefusal::None;
    case LIBUSB_ERROR_BUSY:
        return OpenRefusal::Held;
    case LIBUSB_ERROR_ACCESS:
        return OpenRefusal::Denied;
    default:
        break;
    }
    return OpenRefusal::Other;
}

std::string MLPPhyMultiUsb::serialAt(int32_t index) const
{
    switch (linkKindAt(index)) {
    case MLPLinkKind::FtdiBridge:
        return m_ftdi.serialAt(index);
    case MLPLinkKind::MakerUsb:
        return m_ml.serialAt(index - m_ftdiCount);
    case MLPLinkKind::Unknown:
        break;
    }
    return std::string();
}

std::string MLPPhyMultiUsb::portPathAt(int32_t index) const
{
    switch (linkKindAt(index)) {
    case MLPLinkKind::FtdiBridge:
        return m_ftdi.portPathAt(index);
    case MLPLinkKind::MakerUsb:
        return m_ml.portPathAt(index - m_ftdiCount);
    case MLPLinkKind::Unknown:
        break;
    }
    return std::string();
}

int32_t MLPPhyMultiUsb::serialShareCountAt(int32_t index) const
{
    switch (linkKindAt(index)) {
    case MLPLinkKind::FtdiBridge:
        return m_ftdi.serialShareCountAt(index);
    case MLPLinkKind::MakerUsb:
        // The maker member lists one device per serial number.
        return serialAt(index).empty() ? 0 : 1;
    case MLPLinkKind::Unknown:
        break;
    }
    return 0;
}

void MLPPhyMultiUsb::close()
{
    if (m_current != nullptr) {
        m_current->close();
    }
}

MLPPhyReadResult MLPPhyMultiUsb::readByte()
{
    if (m_current == nullptr) {
        return MLPPhyReadResult{0, 1};
    }
    return m_current->readByte();
}

bool MLPPhyMultiUsb::write(const uint8_t* data, uint32_t length)
{
    return m_current != nullptr && m_current->write(data, length);
}

int32_t MLPPhyMultiUsb::lastError()
{
    if (m_current == nullptr) {
        return kNoMemberError;
    }
    return m_current->lastError();
}

std::string MLPPhyMultiUsb::errorString(int32_t code)
{
    if (m_current == nullptr) {
        return std::string();
    }
    return m_current->errorString(code);
}

} // namespace marlune::MLP
