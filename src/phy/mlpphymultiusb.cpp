#include "mlpphymultiusb.h"

#include "mlpphyaddress.h"

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
