#pragma once

#include "mlpupdatefirmwarerequest.h"

#include <QObject>
#include <QStringList>

class QBoxLayout;
class QCheckBox;
class QWidget;

// What a rig's run may write besides the units that need it: "Also units already at 1.03"
// and "Also units with a newer firmware (a step back)", each box offered only where such a
// unit is listed. Unticked, the run leaves those units alone, also when only their own answer
// at their link tells.
class LeftAloneChoice : public QObject
{
    Q_OBJECT

public:
    // Puts the boxes into `layout` at `index`: one for units at the file's firmware, naming the
    // version where all share one (sameVersions), and one for units with a newer firmware.
    LeftAloneChoice(QWidget& parent, QBoxLayout& layout, int index, const QStringList& sameVersions,
                    bool newer);

    bool offered() const { return m_sameFirmware || m_newerFirmware; }
    bool alsoSameFirmware() const;
    bool alsoNewerFirmware() const;
    MLPUpdateFirmwareRequest::LeaveAlone leaveAlone() const;
    // Once a run has started: the rows already say which units it took.
    void fix();

signals:
    void changed();

private:
    QCheckBox* m_sameFirmware = nullptr;
    QCheckBox* m_newerFirmware = nullptr;
};
