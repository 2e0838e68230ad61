// Writes the window icon into a hicolor icon-theme tree: every size the icon file holds,
// as SIZExSIZE/apps/NAME.png. Run at build time on the icon the program carries, so the
// desktop shows the same picture as the window.
//
// Usage: marlune_hicoloricons ICON-FILE OUTPUT-FOLDER NAME

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QSet>

#include <cstdio>

namespace {

constexpr int kArgumentCount = 4;
// The sizes a hicolor theme has folders for.
const QSet<int> kThemeSizes = {16, 22, 24, 32, 48, 64, 96, 128, 256, 512};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != kArgumentCount) {
        std::fprintf(stderr, "usage: marlune_hicoloricons ICON-FILE OUTPUT-FOLDER NAME\n");
        return 2;
    }
    const QString& iconFile = arguments.at(1);
    const QDir output(arguments.at(2));
    const QString& name = arguments.at(3);

    QImageReader reader(iconFile);
    int written = 0;
    for (int imageIndex = 0; imageIndex < qMax(1, reader.imageCount()); ++imageIndex) {
        if (!reader.jumpToImage(imageIndex) && imageIndex > 0) {
            break;
        }
        const QImage image = reader.read();
        if (image.isNull() || image.width() != image.height() || !kThemeSizes.contains(image.width())) {
            continue;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(image.width());
        if (!output.mkpath(folder) ||
            !image.save(output.filePath(folder + QLatin1Char('/') + name + ".png"))) {
            std::fprintf(stderr, "cannot write the %dx%d icon\n", image.width(), image.width());
            return 1;
        }
        ++written;
    }
    if (written == 0) {
        std::fprintf(stderr, "no icon of a theme size in %s: %s\n", qPrintable(iconFile),
                     qPrintable(reader.errorString()));
        return 1;
    }
    return 0;
}
