#include "pathtext.h"

namespace {

const QChar kWordJoiner(0x2060);
// The text engine breaks at an ordinary blank whatever follows it.
const QChar kNoBreakSpace(0x00A0);
const QChar kZeroWidthSpace(0x200B);

bool isSeparator(QChar character)
{
    return character == QLatin1Char('/') || character == QLatin1Char('\\');
}

} // namespace

QString PathText::wrappable(const QString& path)
{
    QString text;
    text.reserve(2 * path.size());
    for (int index = 0; index < path.size(); ++index) {
        const QChar character = path.at(index);
        text += character == QLatin1Char(' ') ? kNoBreakSpace : character;
        if (index + 1 == path.size()) {
            break;
        }
        // Hyphens and brackets inside a name would otherwise offer a break of their own.
        if (isSeparator(character)) {
            text += kZeroWidthSpace;
        } else if (!isSeparator(path.at(index + 1))) {
            text += kWordJoiner;
        }
    }
    return text;
}
