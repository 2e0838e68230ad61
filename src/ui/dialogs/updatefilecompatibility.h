#pragma once

#include <QString>

#include <cstdint>

// Whether an update file may be written to a device: it must open with a valid header,
// name the device's model exactly (letter case included) and list the device's hardware
// version. Says which requirement failed, so the window can tell the user.
class UpdateFileCompatibility
{
public:
    enum Verdict
    {
        Fits,
        NoFile,
        Unreadable,
        OtherModel,
        HardwareNotListed,
    };

    // deviceHwVersion as the device reports it (BCD). An empty path is NoFile.
    static Verdict check(const QString& updateFilePath, const QString& deviceModel, uint16_t deviceHwVersion);
};
