#pragma once

#include "updatefilesignatureverdict.h"

#include <QByteArray>
#include <QString>

#include <optional>

class TrustedKeys;

// Whether an update file's bytes are the ones its signature's key signed, for the model and
// firmware version its header names. The check runs on the bytes in memory that an update
// sends from, never on the file on disk again. The trusted comment reads
// "model=DEMO-A firmware=1.03".
class UpdateFileSignatureCheck
{
public:
    // signatureText is the content of NAME.ml2.minisig, none when there is no such file.
    // model and firmwareVersionText are as the file's header reads ("1.03").
    static UpdateFileSignatureVerdict check(const QByteArray& fileBytes,
                                            const std::optional<QByteArray>& signatureText,
                                            const QString& model, const QString& firmwareVersionText,
                                            const TrustedKeys& keys);
};
