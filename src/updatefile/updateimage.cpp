#include "updateimage.h"

#include "mlu2file.h"
#include "mlu2format.h"
#include "trustedkeys.h"
#include "updatefilecheck.h"

#include <QCryptographicHash>

struct UpdateImage::Data
{
    QString path;
    // Kept open for the image's life: its blocks are views of the bytes it read.
    std::unique_ptr<MLU2File> file;
    UpdateFileVerdict check;
    QString sentSha256;
};

namespace {

// Of the same views the transfer sends from.
QString sentBytesHash(const MLU2File& file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromRawData(reinterpret_cast<const char*>(file.header()),
                                         static_cast<int>(MLU2Format::kHeaderSize)));
    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block block = file.block(index);
        hash.addData(QByteArray::fromRawData(reinterpret_cast<const char*>(block.data),
                                             static_cast<int>(block.length)));
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

UpdateImage UpdateImage::read(const QString& path)
{
    return read(path, TrustedKeys());
}

UpdateImage UpdateImage::read(const QString& path, const TrustedKeys& keys)
{
    auto data = std::make_shared<Data>();
    data->path = path;
    data->file = std::make_unique<MLU2File>(path);
    // An empty path is no file chosen, as the default check says.
    if (!path.isEmpty()) {
        data->file->open();
        data->check = UpdateFileCheck::checkFile(*data->file, keys);
        if (data->check.fits()) {
            data->sentSha256 = sentBytesHash(*data->file);
        }
    }
    UpdateImage image;
    image.m_data = data;
    return image;
}

QString UpdateImage::path() const
{
    return m_data ? m_data->path : QString();
}

QByteArray UpdateImage::bytes() const
{
    return m_data ? m_data->file->content() : QByteArray();
}

const MLU2File& UpdateImage::file() const
{
    return *m_data->file;
}

UpdateFileVerdict UpdateImage::check() const
{
    return m_data ? m_data->check : UpdateFileVerdict();
}

QString UpdateImage::firmwareVersionText() const
{
    return m_data ? m_data->check.fileFirmwareVersionText : QString();
}

QString UpdateImage::sentSha256() const
{
    return m_data ? m_data->sentSha256 : QString();
}
