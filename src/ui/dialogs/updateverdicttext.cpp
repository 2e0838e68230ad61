#include "updateverdicttext.h"

#include "mlpdeviceinfonode.h"
#include "updatetext.h"

QString UpdateVerdictText::toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                                   const QString& noFileText)
{
    switch (verdict.kind) {
    case UpdateFileVerdict::Kind::Fits:
        return tr("Writes firmware %1 to %2, which now has %3.")
            .arg(verdict.fileFirmwareVersionText, verdict.deviceModel,
                 MLPDeviceInfoNode::versionText(deviceFwVersion));
    case UpdateFileVerdict::Kind::NoFile:
        return noFileText;
    case UpdateFileVerdict::Kind::FileProblem:
    case UpdateFileVerdict::Kind::OtherModel:
    case UpdateFileVerdict::Kind::HardwareNotListed:
        break;
    }
    return UpdateText::sentence(UpdateText::fileVerdict(verdict));
}
