#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpstatus.h"
#include "updatefileverdict.h"

#include <QString>

#include <cstdint>
#include <optional>

// What one firmware update came to and, when it failed, where and why: the facts a front
// end words for the person at the device. MLPUpdateFirmwareRequest fills it while it runs;
// it is complete once the request's final signal has arrived.
struct MLPUpdateOutcome
{
    enum class Phase
    {
        FileCheck,     // the update file could not be opened or used; nothing was sent
        UnitCheck,     // the unit was not found on its link, did not answer there, or another device
                       // answers in its place (unitProblem says which); nothing was sent
        Stopped,       // stopped by its owner after the checks, before any byte went out
        IdentityCheck, // the device named another model or a hardware version the file does not list; nothing
                       // was sent
        Header,        // the file's header did not go through
        Block,         // block `block` did not go through
        Done,          // every transfer went through: the device took the whole file
    };

    // Whether the update's owner asked it to stop, and which came first: the stop or the first
    // byte. One atomic step decides, so a unit stopped has had nothing sent.
    enum class StopAnswer
    {
        NotAsked,
        BeforeWriting,     // the stop came first: nothing was sent (phase Stopped)
        AfterWritingBegan, // the first byte had gone out: the write ran to its end
    };

    enum class UnitProblem
    {
        None,
        NotAttached,   // no device of the unit's link kind and identity is attached now
        Held,          // it is attached, but another program holds it
        NotAccessible, // it is attached, but the system refused to open it for this user
        NoAnswer,      // its link opened, but it gave no device information
        OtherModel,    // the device on its link names another model (unitFound says which)
        SameFirmware,  // it runs the file's firmware already, and such units were to be left alone
        NewerFirmware, // it runs a newer firmware than the file's, and such units were to be left alone
    };

    Phase phase = Phase::FileCheck;
    StopAnswer stop = StopAnswer::NotAsked;
    // The unit the update was for, as the caller named it.
    MLPDeviceInfoNode unit;
    // With UnitCheck: why the unit was not written.
    UnitProblem unitProblem = UnitProblem::None;
    // The device found on the unit's link as it answered just before the update: its address,
    // link kind and serial number, and its model and versions when it answered.
    MLPDeviceInfoNode unitFound;
    // With Block: the index of the failing block, from 0, as sent with UpdateBlock.
    int block = -1;
    // The segment that ended the failing transfer, counted from 1 within that transfer;
    // 0 when no transfer failed.
    int segment = 0;
    // The failing transfer's status; Ok when none failed.
    MLPStatus status = MLPStatus::Ok;
    // The link refused that segment: it never reached the device (unplugged, a bridge
    // pulled, or a device that stopped taking data).
    bool linkWriteFailed = false;
    // With linkWriteFailed: the link's code for the refusal and its name for it, such as
    // the bridge's D2XX status "FT_IO_ERROR"; 0 and empty when the link gave none.
    int32_t linkError = 0;
    QString linkErrorName;
    // The status byte the device refused the segment with (status DeviceError).
    std::optional<uint8_t> deviceStatus;
    // Payload bytes the device acknowledged, header and blocks together, of totalBytes.
    int64_t confirmedBytes = 0;
    int64_t totalBytes = 0;
    // Done although the device's answer to the very last segment was missing or
    // malformed: every byte was taken by the link, so the image is taken as delivered.
    bool lastAcknowledgementMissing = false;

    // The device answered the device-information read made before sending; its firmware
    // version (BCD) is the version before the update. The model and hardware version it
    // reported are in fileCheck, which compared them with the file.
    bool deviceAnswered = false;
    uint16_t deviceFwVersion = 0;

    // SHA-256 (hexadecimal) of what the update sends, the file's header and then its blocks,
    // taken from the very bytes handed to the device; empty when the file could not be used.
    QString sentSha256;

    // The shared update check's verdict and the facts it compared: with FileCheck why the
    // file cannot be used; with IdentityCheck whether the model or the hardware version
    // did not match. Checked against the device only when it answered.
    UpdateFileVerdict fileCheck;

    // After every byte went out: whether the unit answered again within the bound for a
    // restart (a unit may leave the bus to start its new firmware and come back), and how it
    // answered, found again by its identity; `unitAfter.fwVersion` is what it runs now.
    bool answeredAfter = false;
    // It answered only after its link had gone and it was found again.
    bool cameBackAfter = false;
    // What answered afterwards is the unit written: its model, and the same unit by its
    // identity (isSameUnit). When not, unitAfter is the other unit that answered.
    bool sameUnitAfter = false;
    MLPDeviceInfoNode unitAfter;

    // The device took the whole file; whether it runs it is told by what it answered afterwards.
    bool tookFile() const { return phase == Phase::Done; }
};
