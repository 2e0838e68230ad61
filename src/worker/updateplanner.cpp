#include "updateplanner.h"

#include "updatefilecheck.h"

UpdatePlanner::UpdatePlanner(ImageFor imageFor, MLPUpdateFirmwareRequest::LeaveAlone leaveAlone)
    : m_imageFor(std::move(imageFor)), m_leaveAlone(leaveAlone)
{}

bool UpdatePlanner::leavesAlone(marlune::FirmwareOrder firmware,
                                MLPUpdateFirmwareRequest::LeaveAlone leaveAlone)
{
    switch (firmware) {
    case marlune::FirmwareOrder::Same:
        return leaveAlone.sameFirmware;
    case marlune::FirmwareOrder::DeviceNewer:
        return leaveAlone.newerFirmware;
    case marlune::FirmwareOrder::DeviceOlder:
    case marlune::FirmwareOrder::DeviceNotBcd:
        break;
    }
    return false;
}

UnitPlan UpdatePlanner::decide(const MLPDeviceInfoNode& unit) const
{
    UnitPlan plan;
    plan.unit = unit;
    plan.image = m_imageFor(unit);
    plan.fit = UpdateFileCheck::check(plan.image.check(), unit.model, unit.hwVersion);
    if (!m_allowUnsigned) {
        plan.fit = UpdateFileCheck::refusingUnsigned(plan.fit);
    }
    if (!plan.fit.fits()) {
        plan.decision = UnitPlan::Decision::DoesNotFit;
        return plan;
    }
    plan.firmware = marlune::compareFirmware(plan.fit.fileFirmwareVersion, unit.fwVersion);
    plan.decision =
        leavesAlone(plan.firmware, m_leaveAlone) ? UnitPlan::Decision::LeaveAlone : UnitPlan::Decision::Write;
    return plan;
}

QList<UnitPlan> UpdatePlanner::plan(const QList<MLPDeviceInfoNode>& answered,
                                    const MissingDevices& missing) const
{
    QList<UnitPlan> plans;
    for (const MLPDeviceInfoNode& unit : answered) {
        plans << decide(unit);
    }
    const auto unreached = [&plans](const QList<MLPDeviceInfoNode>& units, UnitPlan::Decision decision) {
        for (const MLPDeviceInfoNode& unit : units) {
            UnitPlan plan;
            plan.decision = decision;
            plan.unit = unit;
            plans << plan;
        }
    };
    unreached(missing.unansweredUnits, UnitPlan::Decision::NoAnswer);
    unreached(missing.heldUnits, UnitPlan::Decision::Held);
    // Bridges held before any listing could see where: each named by its link kind only.
    for (int held = static_cast<int>(missing.heldUnits.size()); held < missing.heldBridges; ++held) {
        MLPDeviceInfoNode bridge;
        bridge.linkKind = marlune::MLP::MLPLinkKind::FtdiBridge;
        unreached({bridge}, UnitPlan::Decision::Held);
    }
    for (const InaccessibleUsbDevice& device : missing.inaccessible) {
        UnitPlan plan;
        plan.decision = UnitPlan::Decision::NotAccessible;
        plan.inaccessible = device;
        plans << plan;
    }
    return plans;
}
