// Feeds arbitrary files to MLU2File: opens each, asks every question, reads every block
// and checks the answers against its own reading of the input.

#include "mlu2file.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kFirstBlockOffset = 1280;
constexpr size_t kModelLength = 40;
constexpr size_t kHardwareVersionCountOffset = 45;
constexpr size_t kBlockCountOffset = 46;
constexpr size_t kBlockLengthsOffset = 68;
constexpr int kMaxCount = 8;
constexpr uint8_t kSignature[] = {'M', 'L', 'U', '2', 0};

void check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

bool countInRange(uint8_t count)
{
    return count >= 1 && count <= kMaxCount;
}

uint32_t lengthAt(const uint8_t* data, size_t offset)
{
    return data[offset] | data[offset + 1] << 8 | data[offset + 2] << 16 |
           static_cast<uint32_t>(data[offset + 3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("input.ml2"));
    {
        QFile input(path);
        if (!input.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            input.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size)) {
            std::abort();
        }
    }

    const bool headerValid = size >= kHeaderSize && std::memcmp(data, kSignature, sizeof kSignature) == 0 &&
                             countInRange(data[kHardwareVersionCountOffset]) &&
                             countInRange(data[kBlockCountOffset]);

    MLU2File file(path);
    check(file.open() == headerValid);
    check(file.modelName().size() <= static_cast<int>(kModelLength));
    check(file.modelName().isEmpty() || headerValid);
    check(file.firmwareVersionText().isEmpty() != headerValid);
    const QList<uint16_t> hardwareVersions = file.compatibleHardwareVersions();
    check(hardwareVersions.size() <= kMaxCount);
    check(hardwareVersions.isEmpty() == file.compatibleHardwareVersionsText().isEmpty());
    for (uint16_t version : hardwareVersions) {
        const uint16_t bcd =
            static_cast<uint16_t>(((version >> 8) / 10 % 10) << 12 | ((version >> 8) % 10) << 8 |
                                  ((version & 0xFF) / 10 % 10) << 4 | ((version & 0xFF) % 10));
        file.isHwCompatible(bcd);
    }

    const int blockCount = headerValid ? data[kBlockCountOffset] : 0;
    check(file.blockCount() == blockCount);
    if (headerValid) {
        check(std::memcmp(file.header(), data, kHeaderSize) == 0);
    }

    uint64_t offset = kFirstBlockOffset;
    int64_t totalSize = kHeaderSize;
    for (int index = -1; index <= kMaxCount; ++index) {
        const MLU2Block block = file.block(index);
        if (index < 0 || index >= blockCount) {
            check(block.data == nullptr && block.length == 0);
            continue;
        }
        const uint32_t length = lengthAt(data, kBlockLengthsOffset + 4 * static_cast<size_t>(index));
        check(block.length == length);
        const bool insideFile = length > 0 && offset + length <= size;
        check((block.data != nullptr) == insideFile);
        if (block.data) {
            check(std::memcmp(block.data, data + offset, length) == 0);
        }
        check(file.block(index).data == block.data);
        offset += length;
        totalSize += length;
    }
    check(file.totalSize() == totalSize);
    file.close();
    return 0;
}
