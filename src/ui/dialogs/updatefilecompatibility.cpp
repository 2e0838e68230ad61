#include "updatefilecompatibility.h"

#include "mlu2file.h"

UpdateFileCompatibility::Verdict UpdateFileCompatibility::check(const QString& updateFilePath,
                                                                const QString& deviceModel,
                                                                uint16_t deviceHwVersion)
{
    if (updateFilePath.isEmpty()) {
        return NoFile;
    }
    MLU2File updateFile(updateFilePath);
    if (!updateFile.open()) {
        return Unreadable;
    }
    Verdict verdict = Fits;
    if (updateFile.modelName() != deviceModel) {
        verdict = OtherModel;
    } else if (!updateFile.isHwCompatible(deviceHwVersion)) {
        verdict = HardwareNotListed;
    }
    updateFile.close();
    return verdict;
}
