#pragma once

#include <QByteArray>

#include <optional>

namespace marlune {

// One base64 line of a minisign file, which must decode to exactly `bytes` bytes; a line
// ending in "\r" is read without it. Empty when it does not.
std::optional<QByteArray> decodeMinisignBase64(const QByteArray& line, int bytes);

} // namespace marlune
