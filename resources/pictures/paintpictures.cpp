// Paints the program's pictures at build time: the window icon as a multi-size Windows
// icon file, the information button image at normal and double pixel density, and the
// installer's side picture. They are
// drawn with shapes only (no fonts), so every machine produces the same bytes.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QRectF>
#include <QVector>

#include <cstdio>

namespace {

// Sizes a desktop asks for: title bar and task bar at 1x and 2x, file managers up to 256.
const QVector<int> kWindowIconSizes = {16, 24, 32, 48, 64, 128, 256};
// Icon entries from this size on are stored as PNG; smaller ones as 32-bit bitmaps, which
// every reader understands.
constexpr int kFirstPngIconSize = 256;
// The information button draws at the default button icon size.
constexpr int kInfoIconSize = 16;
// The picture on the left of the installer's first and last pages, at the size NSIS shows.
constexpr int kInstallerPictureWidth = 164;
constexpr int kInstallerPictureHeight = 314;
constexpr int kInstallerIconSize = 96;
constexpr int kInstallerIconTop = 40;

QImage transparentImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Rounded tile in deep sea blue, a white "M" drawn as one stroke and an amber crescent:
// the maker's initial under a moon. Below 24 pixels the crescent would blur into a smudge,
// so the small sizes show the initial alone, a little larger.
QImage paintWindowIcon(int size)
{
    QImage image = transparentImage(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    const QRectF tile(1.0, 1.0, 62.0, 62.0);
    QLinearGradient background(0.0, 0.0, 0.0, 64.0);
    background.setColorAt(0.0, QColor(0x23, 0x7a, 0x99));
    background.setColorAt(1.0, QColor(0x0f, 0x3f, 0x57));
    painter.setPen(QPen(QColor(0x0b, 0x30, 0x43), 1.5));
    painter.setBrush(background);
    painter.drawRoundedRect(tile, 13.0, 13.0);

    const bool small = size < 24;
    QPainterPath initial;
    if (small) {
        initial.moveTo(12.0, 52.0);
        initial.lineTo(12.0, 14.0);
        initial.lineTo(32.0, 38.0);
        initial.lineTo(52.0, 14.0);
        initial.lineTo(52.0, 52.0);
    } else {
        initial.moveTo(12.0, 53.0);
        initial.lineTo(12.0, 25.0);
        initial.lineTo(28.0, 44.0);
        initial.lineTo(44.0, 25.0);
        initial.lineTo(44.0, 53.0);
    }
    QPen stroke(Qt::white, small ? 11.0 : 8.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(stroke);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(initial);

    if (!small) {
        QPainterPath moon;
        moon.addEllipse(QPointF(48.0, 16.0), 10.0, 10.0);
        QPainterPath bite;
        bite.addEllipse(QPointF(53.5, 12.0), 8.5, 8.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xf4, 0xb9, 0x3a));
        painter.drawPath(moon.subtracted(bite));
    }
    return image;
}

// Blue disc with a white "i", laid out on a 16-pixel grid so that at 1x the stem's edges
// and foot fall on whole pixels.
QImage paintInfoIcon(int scale)
{
    QImage image = transparentImage(kInfoIconSize * scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);

    QRadialGradient disc(QPointF(6.0, 5.0), 9.0);
    disc.setColorAt(0.0, QColor(0x4a, 0x9b, 0xe8));
    disc.setColorAt(1.0, QColor(0x1d, 0x62, 0xb5));
    painter.setPen(QPen(QColor(0x15, 0x4c, 0x8f), 1.0 / scale));
    painter.setBrush(disc);
    painter.drawEllipse(QPointF(8.0, 8.0), 7.5 - 0.5 / scale, 7.5 - 0.5 / scale);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(8.0, 4.0), 1.25, 1.25);
    painter.drawRect(QRectF(7.0, 6.0, 2.0, 6.0));
    painter.drawRect(QRectF(6.0, 11.0, 4.0, 1.0));
    return image;
}

// The installer's side picture: the icon's sea blue from top to bottom, with the window icon
// in its upper part. A BMP without transparency, the one kind NSIS shows there.
QByteArray installerPictureBytes()
{
    QImage image(kInstallerPictureWidth, kInstallerPictureHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0.0, 0.0, 0.0, kInstallerPictureHeight);
    background.setColorAt(0.0, QColor(0x23, 0x7a, 0x99));
    background.setColorAt(1.0, QColor(0x0b, 0x30, 0x43));
    painter.fillRect(image.rect(), background);
    painter.drawImage((kInstallerPictureWidth - kInstallerIconSize) / 2, kInstallerIconTop,
                      paintWindowIcon(kInstallerIconSize));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A 32-bit icon bitmap: the info header with doubled height, the pixels bottom-up in
// straight (not premultiplied) BGRA, then the 1-bit transparency mask, rows padded to
// 32 bits.
QByteArray iconBitmapBytes(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int maskRowBytes = ((size + 31) / 32) * 4;

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 infoHeaderSize = 40;
    out << infoHeaderSize << qint32(size) << qint32(2 * size) << quint16(1) << quint16(32) << quint32(0)
        << quint32(size * size * 4 + maskRowBytes * size) << qint32(0) << qint32(0) << quint32(0)
        << quint32(0);
    for (int y = size - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            out << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                << quint8(qAlpha(line[x]));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray maskRow(maskRowBytes, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(line[x]) == 0) {
                maskRow[x / 8] = static_cast<char>(maskRow[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.writeRawData(maskRow.constData(), maskRow.size());
    }
    return bytes;
}

// Icon directory: a 6-byte header, one 16-byte entry per picture, then the pictures.
QByteArray iconFileBytes(const QVector<int>& sizes)
{
    QVector<QByteArray> pictures;
    for (const int size : sizes) {
        const QImage image = paintWindowIcon(size);
        pictures.append(size >= kFirstPngIconSize ? pngBytes(image) : iconBitmapBytes(image));
    }

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint16 iconType = 1;
    out << quint16(0) << iconType << quint16(sizes.size());
    quint32 offset = 6 + 16 * sizes.size();
    for (int index = 0; index < sizes.size(); ++index) {
        // A width or height of 256 does not fit the byte and is written as 0.
        const quint8 sideByte = static_cast<quint8>(sizes[index] % 256);
        out << sideByte << sideByte << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(pictures[index].size()) << offset;
        offset += pictures[index].size();
    }
    for (const QByteArray& picture : pictures) {
        out.writeRawData(picture.constData(), picture.size());
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir outputDirectory(QString::fromLocal8Bit(argv[1]));
    const bool written =
        writeFile(outputDirectory.filePath("Marlune.ico"), iconFileBytes(kWindowIconSizes)) &&
        writeFile(outputDirectory.filePath("info.png"), pngBytes(paintInfoIcon(1))) &&
        writeFile(outputDirectory.filePath("info@2x.png"), pngBytes(paintInfoIcon(2))) &&
        writeFile(outputDirectory.filePath("installer-welcome.bmp"), installerPictureBytes());
    return written ? 0 : 1;
}
