#pragma once

#include "mlu2fileproblem.h"
#include "updatefilesignatureverdict.h"

#include <QList>
#include <QString>

#include <cstdint>

// Whether an update file may be written to a device, and the facts behind the answer, so
// that each front end can word it for the person who must act on it.
struct UpdateFileVerdict
{
    enum class Kind
    {
        Fits,
        // No file was chosen (an empty path).
        NoFile,
        // The file itself cannot be used: fileProblem says why.
        FileProblem,
        // The file names another model than the device (letter case counts).
        OtherModel,
        // The file does not list the device's hardware version.
        HardwareNotListed,
        // Its signature shows the file is not what a trusted key signed: signature says how.
        SignatureRefused,
        // It carries no signature of a trusted key, and unsigned files were not allowed.
        Unsigned,
    };

    Kind kind = Kind::NoFile;

    // From the file's header, once it has been read; empty otherwise. The file's versions
    // are plain numbers, major in the high byte, and read as 1.07.
    QString fileModel;
    QString fileFirmwareVersionText;
    // The same as the header holds it, to compare with what a device reports.
    uint16_t fileFirmwareVersion = 0;
    QList<uint16_t> fileHardwareVersions;
    QString fileHardwareVersionsText;
    // Bytes an update with this file sends: the header and the counted blocks.
    qint64 fileUpdateBytes = 0;

    // The device as it reported itself; empty for a check of the file alone. Devices
    // report BCD: 0x0112 reads 1.12.
    QString deviceModel;
    uint16_t deviceHwVersion = 0;

    // The file's own problem, kept whatever the kind: a truncated file for another model
    // is OtherModel and still names its missing block here.
    MLU2FileProblem fileProblem;

    // What the signature beside the file says of the bytes read, once the header was read.
    UpdateFileSignatureVerdict signature;

    bool fits() const { return kind == Kind::Fits; }
};
