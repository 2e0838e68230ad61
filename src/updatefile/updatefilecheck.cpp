#include "updatefilecheck.h"

#include "mlu2file.h"
#include "mlu2format.h"
#include "updatefilesignaturecheck.h"

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

UpdateFileVerdict UpdateFileCheck::check(MLU2File& file, const QString& deviceModel, uint16_t deviceHwVersion)
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

UpdateFileVerdict UpdateFileCheck::checkFile(const QString& path, const TrustedKeys& keys)
{
    MLU2File file(path);
    file.open();
    const UpdateFileVerdict verdict = checkFile(file, keys);
    file.close();
    return verdict;
}

UpdateFileVerdict UpdateFileCheck::refusingUnsigned(const UpdateFileVerdict& verdict)
{
    UpdateFileVerdict refusing = verdict;
    if (refusing.fits() && !refusing.signature.trusted()) {
        refusing.kind = UpdateFileVerdict::Kind::Unsigned;
    }
    return refusing;
}

UpdateFileVerdict UpdateFileCheck::checkFile(MLU2File& file, const TrustedKeys& keys)
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
        verdict.signature = UpdateFileSignatureCheck::check(
            file.content(), file.signatureText(), verdict.fileModel, verdict.fileFirmwareVersionText, keys);
    }
    verdict.fileProblem = file.problem();
    if (!verdict.fileProblem.isNone()) {
        verdict.kind = UpdateFileVerdict::Kind::FileProblem;
    } else if (verdict.signature.refused()) {
        verdict.kind = UpdateFileVerdict::Kind::SignatureRefused;
    }
    return verdict;
}
