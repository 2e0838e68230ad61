#include "updatefilecheck.h"

#include "mlu2file.h"
#include "mlu2format.h"

UpdateFileVerdict UpdateFileCheck::check(const QString& path, const QString& deviceModel,
                                         uint16_t deviceHwVersion)
{
    if (path.isEmpty()) {
        UpdateFileVerdict verdict;
        verdict.deviceModel = deviceModel;
        verdict.deviceHwVersion = deviceHwVersion;
        return verdict;
    }
    return check(checkFile(path), deviceModel, deviceHwVersion);
}

UpdateFileVerdict UpdateFileCheck::check(const MLU2File& file, const QString& deviceModel,
                                         uint16_t deviceHwVersion)
{
    return check(checkFile(file), deviceModel, deviceHwVersion);
}

UpdateFileVerdict UpdateFileCheck::check(const UpdateFileVerdict& fileAlone, const QString& deviceModel,
                                         uint16_t deviceHwVersion)
{
    UpdateFileVerdict verdict = fileAlone;
    verdict.deviceModel = deviceModel;
    verdict.deviceHwVersion = deviceHwVersion;
    if (!verdict.fileProblem.headerIsValid()) {
        return verdict;
    }
    // What the file is for outweighs a damaged block: another model needs another file.
    if (verdict.fileModel != deviceModel) {
        verdict.kind = UpdateFileVerdict::Kind::OtherModel;
    } else if (!MLU2File::listsHardwareVersion(verdict.fileHardwareVersions, deviceHwVersion)) {
        verdict.kind = UpdateFileVerdict::Kind::HardwareNotListed;
    }
    return verdict;
}

UpdateFileVerdict UpdateFileCheck::checkFile(const QString& path)
{
    MLU2File file(path);
    file.open();
    const UpdateFileVerdict verdict = checkFile(file);
    file.close();
    return verdict;
}

UpdateFileVerdict UpdateFileCheck::checkFile(const MLU2File& file)
{
    UpdateFileVerdict verdict;
    verdict.kind = UpdateFileVerdict::Kind::Fits;
    if (file.problem().headerIsValid()) {
        verdict.fileModel = file.modelName();
        verdict.fileFirmwareVersionText = file.firmwareVersionText();
        verdict.fileFirmwareVersion =
            MLU2Format::readUint16(file.header(), MLU2Format::kFirmwareVersionOffset);
        verdict.fileHardwareVersions = file.compatibleHardwareVersions();
        verdict.fileHardwareVersionsText = file.compatibleHardwareVersionsText();
        verdict.fileUpdateBytes = file.totalSize();
    }
    verdict.fileProblem = file.problem();
    if (!verdict.fileProblem.isNone()) {
        verdict.kind = UpdateFileVerdict::Kind::FileProblem;
    }
    return verdict;
}
