#pragma once

#include "trustedkeys.h"
#include "updatefileverdict.h"

#include <QString>

#include <cstdint>

class MLU2File;

// The one rule for writing an update file to a device, shared by the window, the
// command-line tool and the update request: the file opens with a valid header, names the
// device's model exactly (letter case included), lists the device's hardware version,
// every counted block lies in the file and has bytes, and no signature beside it shows the
// bytes are not what a trusted key signed. The verdict says which requirement failed first
// and carries the facts compared.
class UpdateFileCheck
{
public:
    // Opens the file at path, checks it and closes it. deviceHwVersion is BCD, as the
    // device reports it. An empty path is NoFile.
    static UpdateFileVerdict check(const QString& path, const QString& deviceModel, uint16_t deviceHwVersion);
    // The same for a file the caller has opened and keeps open: the verdict is of the very
    // bytes its blocks hand out.
    static UpdateFileVerdict check(MLU2File& file, const QString& deviceModel, uint16_t deviceHwVersion);
    // The file alone, for an opened file: Fits, FileProblem or SignatureRefused. A file
    // without a trusted signature fits here; signature says so.
    static UpdateFileVerdict checkFile(MLU2File& file, const TrustedKeys& keys = TrustedKeys());
    // The same for the file at path, opened, checked and closed here.
    static UpdateFileVerdict checkFile(const QString& path, const TrustedKeys& keys = TrustedKeys());
    // A verdict that fits becomes Unsigned when no trusted key signed the file: the rule of
    // an update nobody allowed unsigned files for.
    static UpdateFileVerdict refusingUnsigned(const UpdateFileVerdict& verdict);
    // The rule over facts read before: the verdict of checkFile() against a device. Reads nothing.
    static UpdateFileVerdict check(const UpdateFileVerdict& fileAlone, const QString& deviceModel,
                                   uint16_t deviceHwVersion);
};
