#include "mlu2file.h"

#include "mlu2reader.h"
#include "updatefilesignature.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

using namespace MLU2Format;

namespace {

// Plain numbers, major in the high byte: 0x0107 reads 1.07.
QString versionText(uint16_t version)
{
    return QString::asprintf("%i.%02i", version >> 8, version & 0xFF);
}

uint8_t fromBcd(uint8_t value)
{
    return static_cast<uint8_t>(10 * (value >> 4) + (value & 0x0F));
}

} // namespace

MLU2File::MLU2File(const QString& path, QObject* parent) : QObject(parent), m_path(path)
{
    m_problem.kind = MLU2FileProblem::Kind::NotOpened;
}

MLU2File::~MLU2File() = default;

bool MLU2File::open()
{
    close();
    m_headerValid = false;
    m_problem = {};
    if (!readContent() || !readHeader()) {
        return false;
    }
    // The format lets a file whose blocks run past its end open; the first such block is
    // noted now, from the lengths alone, so that callers learn it before using any block.
    for (int index = 0; index < blockCount(); ++index) {
        const MLU2FileProblem placed = placement(index);
        if (!placed.isNone()) {
            m_problem = placed;
            break;
        }
    }
    return true;
}

bool MLU2File::readContent()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_problem = openFailure(file);
        return false;
    }
    const qint64 size = file.size();
    if (size > kMaxUpdateFileBytes) {
        m_problem.kind = MLU2FileProblem::Kind::TooLarge;
        m_problem.fileSize = size;
        return false;
    }
    // Read once and closed: a file cut short or grown meanwhile leaves exactly the bytes read
    // here, and nothing later reads the file again.
    QByteArray content(static_cast<int>(size), Qt::Uninitialized);
    const qint64 read = file.read(content.data(), size);
    if (read < 0) {
        m_problem.kind = MLU2FileProblem::Kind::Unreadable;
        m_problem.osReason = file.errorString();
        return false;
    }
    content.truncate(static_cast<int>(read));
    m_content = content;
    readSignature();
    return true;
}

void MLU2File::readSignature()
{
    QFile signature(m_path + QStringLiteral(".minisig"));
    if (!signature.exists()) {
        return;
    }
    // One byte past the limit, so that a larger file reads as too large, not as cut short.
    m_signatureText = signature.open(QIODevice::ReadOnly)
                          ? signature.read(UpdateFileSignature::kMaxFileBytes + 1)
                          : QByteArray();
}

bool MLU2File::readHeader()
{
    m_headerValid = false;
    if (m_content.size() < kHeaderSize) {
        m_problem.kind = MLU2FileProblem::Kind::TooShort;
        m_problem.fileSize = m_content.size();
        return false;
    }
    std::memcpy(m_headerData, m_content.constData(), kHeaderSize);
    MLU2Reader reader(this);
    for (m_feedOffset = 0; m_feedOffset < kHeaderSize; ++m_feedOffset) {
        reader.feed(m_headerData[m_feedOffset]);
    }
    return m_headerValid;
}

void MLU2File::close()
{
    m_content = QByteArray();
    m_signatureText.reset();
}

MLU2FileProblem MLU2File::problem() const
{
    return m_problem;
}

QString MLU2File::modelName() const
{
    if (!m_headerValid) {
        return {};
    }
    // A name that fills the field without a NUL is cut at the field's end.
    const char* model = reinterpret_cast<const char*>(m_headerData + kModelOffset);
    return QString::fromUtf8(model, static_cast<int>(qstrnlen(model, kModelLength)));
}

QString MLU2File::firmwareVersionText() const
{
    if (!m_headerValid) {
        return {};
    }
    return versionText(readUint16(m_headerData, kFirmwareVersionOffset));
}

QList<uint16_t> MLU2File::compatibleHardwareVersions() const
{
    const int count = qMin<int>(m_headerData[kHardwareVersionCountOffset], kMaxHardwareVersions);
    QList<uint16_t> versions;
    for (int i = 0; i < count; ++i) {
        versions.append(readUint16(m_headerData, kHardwareVersionsOffset + 2 * i));
    }
    return versions;
}

QString MLU2File::compatibleHardwareVersionsText() const
{
    QString text;
    for (uint16_t version : compatibleHardwareVersions()) {
        if (!text.isEmpty()) {
            text += QLatin1Char(',');
        }
        text += versionText(version);
    }
    return text;
}

bool MLU2File::isHwCompatible(uint16_t deviceHwVersion) const
{
    return listsHardwareVersion(compatibleHardwareVersions(), deviceHwVersion);
}

bool MLU2File::listsHardwareVersion(const QList<uint16_t>& fileHardwareVersions, uint16_t deviceHwVersion)
{
    // Devices report BCD, the header holds plain numbers: 0x0112 (1.12) matches 0x010C.
    const uint16_t plainVersion =
        static_cast<uint16_t>(fromBcd(deviceHwVersion >> 8) << 8 | fromBcd(deviceHwVersion & 0xFF));
    return fileHardwareVersions.contains(plainVersion);
}

const uint8_t* MLU2File::header() const
{
    return m_headerData;
}

int MLU2File::blockCount() const
{
    const uint8_t count = m_headerData[kBlockCountOffset];
    return m_headerValid && isCountInRange(count, kMaxBlocks) ? count : 0;
}

MLU2Block MLU2File::block(int index) const
{
    if (index < 0 || index >= blockCount()) {
        return {};
    }
    MLU2Block block;
    block.length = blockLength(index);
    // A zero-byte view is no block at all; a closed file has no bytes to view.
    if (!m_content.isNull() && placement(index).isNone()) {
        block.data = reinterpret_cast<const uint8_t*>(m_content.constData()) + blockOffset(index);
    }
    return block;
}

qint64 MLU2File::totalSize() const
{
    qint64 size = kHeaderSize;
    for (int i = 0; i < blockCount(); ++i) {
        size += blockLength(i);
    }
    return size;
}

uint32_t MLU2File::blockLength(int index) const
{
    return readUint32(m_headerData, kBlockLengthsOffset + 4 * index);
}

qint64 MLU2File::blockOffset(int index) const
{
    qint64 offset = kFirstBlockOffset;
    for (int i = 0; i < index; ++i) {
        offset += blockLength(i);
    }
    return offset;
}

MLU2FileProblem MLU2File::openFailure(const QFile& file) const
{
    MLU2FileProblem failure;
    const QFileInfo info(m_path);
    if (m_path.isEmpty() || !info.exists()) {
        failure.kind = MLU2FileProblem::Kind::Missing;
    } else if (info.isDir()) {
        failure.kind = MLU2FileProblem::Kind::Folder;
    } else {
        failure.kind = MLU2FileProblem::Kind::Unreadable;
        failure.osReason = file.errorString();
    }
    return failure;
}

MLU2FileProblem MLU2File::placement(int index) const
{
    MLU2FileProblem placed;
    placed.blockIndex = index;
    placed.blockOffset = blockOffset(index);
    placed.blockLength = blockLength(index);
    placed.fileSize = m_content.size();
    if (placed.blockLength == 0) {
        placed.kind = MLU2FileProblem::Kind::EmptyBlock;
    } else if (placed.blockOffset + placed.blockLength > placed.fileSize) {
        placed.kind = MLU2FileProblem::Kind::BlockOutsideFile;
    }
    return placed;
}

void MLU2File::onFormatError()
{
    // The reader checks the signature, its terminator and the two counts; the byte it
    // stopped at says which.
    m_problem.headerOffset = m_feedOffset;
    m_problem.headerValue = m_headerData[m_feedOffset];
    if (m_feedOffset < kSignatureLength - 1) {
        m_problem.kind = MLU2FileProblem::Kind::Signature;
    } else if (m_feedOffset == kSignatureLength - 1) {
        m_problem.kind = MLU2FileProblem::Kind::SignatureTerminator;
    } else if (m_feedOffset == kHardwareVersionCountOffset) {
        m_problem.kind = MLU2FileProblem::Kind::HardwareVersionCount;
    } else {
        m_problem.kind = MLU2FileProblem::Kind::BlockCount;
    }
}

void MLU2File::onHeader(const uint8_t*)
{
    m_headerValid = true;
}

void MLU2File::onAuxSection1(const uint8_t*) {}

void MLU2File::onAuxSection2(const uint8_t*) {}

void MLU2File::onBlockBegin(uint8_t, uint32_t) {}

void MLU2File::onBlockByte(uint8_t) {}

void MLU2File::onEnd() {}
