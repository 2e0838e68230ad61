#include "minisignbase64.h"

#include <sodium.h>

namespace marlune {

std::optional<QByteArray> decodeMinisignBase64(const QByteArray& line, int bytes)
{
    const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
    // One byte of room more than wanted: a longer line then fails the length check instead
    // of stopping the decoder at the limit.
    QByteArray decoded(bytes + 1, Qt::Uninitialized);
    size_t decodedLength = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(decoded.data()),
                          static_cast<size_t>(decoded.size()), text.constData(),
                          static_cast<size_t>(text.size()), nullptr, &decodedLength, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.constData() + text.size() || decodedLength != static_cast<size_t>(bytes)) {
        return std::nullopt;
    }
    decoded.truncate(bytes);
    return decoded;
}

} // namespace marlune
