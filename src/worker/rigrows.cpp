#include "rigrows.h"

#include "rigupdaterun.h"
#include "unitwatch.h"

#include <QSet>

#include <algorithm>

namespace {

constexpr int kFullPercent = 100;

} // namespace

RigRows::RigRows(MLPWorkerThread& thread, const QHash<QString, UpdateImage>& images,
                 const QString& historyPath, QObject* parent)
    : QObject(parent), m_images(images),
      // Nothing ticked yet: units at the file's firmware or a newer one are left alone.
      m_planner([this](const MLPDeviceInfoNode& unit) { return m_images.value(unit.model); }, {true, true}),
      m_run(new RigUpdateRun(thread, historyPath, this)), m_watch(new UnitWatch(thread, *m_run, this))
{
    // A file no trusted key signed is asked about once Start is pressed.
    m_planner.setAllowUnsigned(true);
    connect(m_run, &RigUpdateRun::unitStateChanged, this, &RigRows::unitStateChanged);
    connect(m_run, &RigUpdateRun::unitProgress, this, &RigRows::unitProgress);
    connect(m_run, &RigUpdateRun::unitEnded, this, &RigRows::unitEnded);
    connect(m_run, &RigUpdateRun::finished, this, &RigRows::runEnded);
    connect(m_watch, &UnitWatch::unitsAppeared, this, &RigRows::unitsAppeared);
}

RigRows::State RigRows::stateOf(const UnitPlan& plan)
{
    if (!plan.fits()) {
        return State::Greyed;
    }
    if (plan.writes()) {
        return State::Waiting;
    }
    return plan.firmware == marlune::FirmwareOrder::Same ? State::SameFirmware : State::NewerFirmware;
}

int RigRows::add(const MLPDeviceInfoNode& unit)
{
    Row added;
    added.plan = m_planner.decide(unit);
    added.state = stateOf(added.plan);
    m_rows.append(added);
    return static_cast<int>(m_rows.size()) - 1;
}

void RigRows::addUnreached(const MissingDevices& missing)
{
    for (const UnitPlan& plan : m_planner.plan({}, missing)) {
        Row added;
        added.plan = plan;
        added.state = State::Greyed;
        m_rows.append(added);
    }
}

void RigRows::setLeaveAlone(MLPUpdateFirmwareRequest::LeaveAlone leaveAlone)
{
    m_planner.setLeaveAlone(leaveAlone);
    for (Row& planned : m_rows) {
        if (planned.plan.fits()) {
            planned.plan = m_planner.decide(planned.plan.unit);
            planned.state = stateOf(planned.plan);
        }
    }
}

QList<UnitPlan> RigRows::plans(bool takingPartOnly) const
{
    QList<UnitPlan> plans;
    for (const Row& row : m_rows) {
        if (!takingPartOnly || row.state == State::Waiting || row.state == State::NotStarted) {
            plans << row.plan;
        }
    }
    return plans;
}

QList<int> RigRows::takingPart() const
{
    QList<int> rows;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).state == State::Waiting || m_rows.at(row).state == State::NotStarted) {
            rows << row;
        }
    }
    return rows;
}

QList<int> RigRows::failed() const
{
    QList<int> rows;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).state == State::Failed) {
            rows << row;
        }
    }
    return rows;
}

bool RigRows::anyUnsignedTakingPart() const
{
    const QList<UnitPlan> taking = plans(true);
    return std::any_of(taking.begin(), taking.end(),
                       [](const UnitPlan& plan) { return !plan.fit.signature.trusted(); });
}

QStringList RigRows::sameFirmwareVersions() const
{
    QStringList versions;
    for (const Row& row : m_rows) {
        if (row.plan.fits() && row.plan.firmware == marlune::FirmwareOrder::Same &&
            !versions.contains(row.plan.fit.fileFirmwareVersionText)) {
            versions << row.plan.fit.fileFirmwareVersionText;
        }
    }
    return versions;
}

bool RigRows::anyNewerFirmware() const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [](const Row& row) {
        return row.plan.fits() && row.plan.firmware == marlune::FirmwareOrder::DeviceNewer;
    });
}

void RigRows::allowUnsigned()
{
    m_run->allowUnsigned();
}

void RigRows::run(const QList<int>& rows, int maxAtOnce)
{
    m_stopRequested = false;
    m_run->setMaxAtOnce(maxAtOnce);
    // The unit's own answer decides again at its link: the list may be older than an update
    // made since.
    m_run->setLeaveAlone(m_planner.leaveAlone());
    for (const int row : rows) {
        Row& started = m_rows[row];
        started.state = State::Waiting;
        started.inRun = true;
        started.verdict.reset();
        started.estimator.reset();
        started.remainingMs.reset();
        m_rowOfRunUnit.insert(m_run->add(started.plan.unit, started.plan.image), row);
    }
}

QList<int> RigRows::stop()
{
    m_stopRequested = true;
    m_watch->stop();
    QList<int> rows;
    if (!m_run->isRunning()) {
        return rows;
    }
    // Units still being checked are not written; writes under way run to their end.
    for (const int unit : m_run->stop()) {
        const int row = m_rowOfRunUnit.take(unit);
        m_rows[row].state = State::NotStarted;
        m_rows[row].verdict = UpdateSession::Verdict::NotStarted;
        m_rows[row].inRun = false;
        rows << row;
    }
    return rows;
}

bool RigRows::isRunning() const
{
    return m_run->isRunning();
}

void RigRows::startWatching()
{
    if (m_watch->isWatching()) {
        return;
    }
    QList<MLPDeviceInfoNode> known;
    for (const Row& row : std::as_const(m_rows)) {
        known << row.plan.unit;
    }
    m_watch->start(known);
}

void RigRows::stopWatching()
{
    m_watch->stop();
}

bool RigRows::isWatching() const
{
    return m_watch->isWatching();
}

RigRows::Progress RigRows::progress() const
{
    Progress progress;
    bool allEstimated = true;
    for (const Row& row : m_rows) {
        progress.running += row.state == State::Running ? 1 : 0;
        progress.waiting += row.inRun && row.state == State::Waiting ? 1 : 0;
        if (row.remainingMs) {
            progress.slowestMs = std::max(progress.slowestMs.value_or(0), *row.remainingMs);
        } else if (row.state == State::Running && row.estimator) {
            allEstimated = false;
        }
    }
    if (!allEstimated) {
        progress.slowestMs.reset();
    }
    return progress;
}

UpdateCounts RigRows::counts() const
{
    UpdateCounts counts;
    for (const Row& row : m_rows) {
        if (row.verdict) {
            counts.add(*row.verdict);
        }
    }
    return counts;
}

void RigRows::unitStateChanged(int unit, const UpdateSession& session)
{
    const int row = m_rowOfRunUnit.value(unit);
    Row& shown = m_rows[row];
    shown.state = State::Running;
    if (session.state() == UpdateSession::State::Writing) {
        shown.writing.start();
        shown.estimator.emplace(kFullPercent);
    } else if (session.state() == UpdateSession::State::Verifying) {
        shown.remainingMs.reset();
    }
    emit rowStateChanged(row, session);
}

void RigRows::unitProgress(int unit, int percent)
{
    const int row = m_rowOfRunUnit.value(unit);
    Row& shown = m_rows[row];
    if (shown.estimator) {
        shown.estimator->addSample(shown.writing.elapsed(), percent);
        shown.remainingMs = shown.estimator->remainingMs();
    }
    emit rowProgress(row, percent);
}

void RigRows::unitEnded(int unit, const UpdateSession& session)
{
    const int row = m_rowOfRunUnit.take(unit);
    Row& shown = m_rows[row];
    shown.inRun = false;
    shown.remainingMs.reset();
    shown.verdict = session.verdict();
    switch (session.verdict()) {
    case UpdateSession::Verdict::NotStarted:
        // Stop came before its first byte, which the session's one atomic step decided.
        shown.state = State::NotStarted;
        break;
    case UpdateSession::Verdict::LeftAlone:
        shown.state = session.outcome().unitProblem == MLPUpdateOutcome::UnitProblem::SameFirmware
                          ? State::SameFirmware
                          : State::NewerFirmware;
        break;
    case UpdateSession::Verdict::Confirmed:
        shown.state = State::Updated;
        break;
    case UpdateSession::Verdict::TookFileUnconfirmed:
        shown.state = State::Unconfirmed;
        break;
    case UpdateSession::Verdict::Failed:
    case UpdateSession::Verdict::NotReached:
        shown.state = State::Failed;
        break;
    }
    if (session.historyEntry().time.isValid()) {
        m_entries << session.historyEntry();
    }
    emit rowEnded(row, session);
}

// A unit of a model the run writes is added as it appears, and run unless the file does not
// fit it or it is left alone for the firmware it runs; units of other models are not the
// run's business.
void RigRows::unitsAppeared(const QList<MLPDeviceInfoNode>& units)
{
    QSet<QString> models;
    for (const Row& row : std::as_const(m_rows)) {
        if (row.plan.fits()) {
            models.insert(row.plan.unit.model);
        }
    }
    const int first = static_cast<int>(m_rows.size());
    QList<int> toRun;
    for (const MLPDeviceInfoNode& unit : units) {
        if (!models.contains(unit.model)) {
            continue;
        }
        const int row = add(unit);
        if (m_rows.at(row).state == State::Waiting) {
            toRun << row;
        }
    }
    if (first < m_rows.size()) {
        emit rowsAppeared(first, toRun);
    }
}
