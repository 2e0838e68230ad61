#pragma once

#include "mlpdeviceinfonode.h"
#include "mlplinkkind.h"
#include "mlpupdateoutcome.h"
#include "mlu2fileproblem.h"
#include "updatefileverdict.h"

class UpdateSession;

#include <QCoreApplication>
#include <QString>

// The words a person reads about an update, one wording for the window and the
// command-line tool alike: the link kinds, what is wrong with a file, why a file does not
// fit a device, where and why an update stopped and what to do next. Clauses start in lower
// case so that each front end can set them into its own sentences; sentence() makes one.
class UpdateText
{
    Q_DECLARE_TR_FUNCTIONS(UpdateText)

public:
    // "FTDI bridge", "maker USB".
    static QString linkKind(marlune::MLP::MLPLinkKind kind);
    // Which unit: "FTDI bridge FT12AB"; where the serial number is not its own, where it sits:
    // "FTDI bridge on port 1-2.3", "FTDI bridge on port 1-2.3, serial A5028, shared by 2
    // bridges"; "maker USB at usb:m/2" where neither was read.
    static QString unit(const MLPDeviceInfoNode& device);
    // Why a file cannot be used, as a clause; empty for no problem.
    static QString fileProblem(const MLU2FileProblem& problem);
    // Why a file may not be written to the device the verdict was made for, as a clause
    // naming the facts compared; empty when it fits.
    static QString fileVerdict(const UpdateFileVerdict& verdict);
    // What a file's signature says, as a clause: "signed by maker (key 68618CD95EDF84EC)",
    // "not signed", "the file was changed after it was signed", "the signature is for DEMO-B
    // 1.04".
    static QString signature(const UpdateFileSignatureVerdict& signature);
    // Where and why a failed update stopped and what it got through, as a clause.
    static QString failure(const MLPUpdateOutcome& outcome);
    // Why the unit was not written with UnitCheck, as a clause naming the unit.
    static QString unitProblem(const MLPUpdateOutcome& outcome);
    // What the person at the device should do after that failure, as a sentence.
    static QString nextStep(const MLPUpdateOutcome& outcome);
    // Why a session that has ended did not succeed, as a clause; empty when it succeeded
    // or has not ended.
    static QString reason(const UpdateSession& session);
    // What to do about it, as a sentence; empty when there is nothing to do.
    static QString nextStep(const UpdateSession& session);
    // A clause as a sentence: capitalised, with a full stop.
    static QString sentence(const QString& clause);
};
