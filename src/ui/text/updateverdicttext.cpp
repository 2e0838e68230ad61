#include "updateverdicttext.h"

#include "deviceunittext.h"
#include "updatesession.h"
#include "updatetext.h"

namespace {

// A history that could not be written is told, and costs the update nothing.
QString withHistoryProblem(const QString& text, const UpdateSession& session)
{
    const QString problem = UpdateVerdictText::historyProblem(session);
    return problem.isEmpty() ? text : text + QLatin1Char(' ') + problem;
}

} // namespace

QString UpdateVerdictText::toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                                   const QString& noFileText)
{
    switch (verdict.kind) {
    case UpdateFileVerdict::Kind::Fits:
        return tr("Writes firmware %1 to %2, which now has %3.")
                   .arg(verdict.fileFirmwareVersionText, verdict.deviceModel,
                        MLPDeviceInfoNode::versionText(deviceFwVersion)) +
               QLatin1Char(' ') + UpdateText::sentence(UpdateText::signature(verdict.signature));
    case UpdateFileVerdict::Kind::NoFile:
        return noFileText;
    case UpdateFileVerdict::Kind::FileProblem:
    case UpdateFileVerdict::Kind::OtherModel:
    case UpdateFileVerdict::Kind::HardwareNotListed:
    case UpdateFileVerdict::Kind::SignatureRefused:
    case UpdateFileVerdict::Kind::Unsigned:
        break;
    }
    return UpdateText::sentence(UpdateText::fileVerdict(verdict));
}

QString UpdateVerdictText::writing(const UpdateFileVerdict& verdict, const MLPDeviceInfoNode& unit)
{
    return tr("Writing firmware %1 to %2, %3 \u2026")
        .arg(verdict.fileFirmwareVersionText, unit.model, DeviceUnitText::unit(unit));
}

QString UpdateVerdictText::succeeded(const UpdateSession& session)
{
    return tr("%1 updated to firmware %2.")
        .arg(DeviceUnitText::modelAndUnit(session.unit()), session.fileFirmwareVersion());
}

QString UpdateVerdictText::written(const UpdateSession& session)
{
    return tr("%1 took the whole file; asking it what it runs now\u2026")
        .arg(DeviceUnitText::modelAndUnit(session.unit()));
}

QString UpdateVerdictText::afterwards(const UpdateSession& session)
{
    return withHistoryProblem(
        tr("It now reports firmware %1.").arg(MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion)),
        session);
}

QString UpdateVerdictText::failed(const UpdateSession& session)
{
    const QString text =
        tr("%1: %2 %3")
            .arg(DeviceUnitText::modelAndUnit(session.unit()), UpdateText::reason(session) + QLatin1Char('.'),
                 UpdateText::nextStep(session));
    return withHistoryProblem(text, session);
}

QString UpdateVerdictText::row(const UpdateSession& session)
{
    using State = UpdateSession::State;
    switch (session.state()) {
    case State::Idle:
    case State::Checking:
        return tr("Checking the unit\u2026");
    case State::Writing:
        return tr("Writing\u2026");
    case State::Verifying:
        return tr("Asking the unit what it runs now\u2026");
    case State::Done:
        return tr("Updated to firmware %1.").arg(session.fileFirmwareVersion());
    case State::Refused:
        return tr("Nothing sent: %1.").arg(UpdateText::reason(session));
    case State::Unconfirmed:
        return tr("Not confirmed: %1.").arg(UpdateText::reason(session));
    case State::Failed:
        break;
    }
    return tr("Failed: %1.").arg(UpdateText::reason(session));
}

QString UpdateVerdictText::rowAfter(const UpdateSession& session)
{
    if (session.outcome().answeredAfter) {
        return MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion);
    }
    return session.state() == UpdateSession::State::Unconfirmed ? tr("No answer") : QString();
}

QString UpdateVerdictText::historyProblem(const UpdateSession& session)
{
    if (session.historyProblem().isEmpty()) {
        return QString();
    }
    return tr("The update history could not be written: %1").arg(session.historyProblem());
}
