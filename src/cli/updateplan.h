#pragma once

#include "cliexitcode.h"
#include "mlpdeviceinfonode.h"
#include "unitplan.h"
#include "updateimage.h"

#include <QList>
#include <QString>
#include <QStringList>

// What an update command will do, decided before any byte goes to a device: the devices to
// write, in order, each with its file; or a refusal with its reason.
struct UpdatePlan
{
    struct Item
    {
        MLPDeviceInfoNode device;
        QString filePath;
        // The file's bytes as read once for the run: every unit of the run gets these.
        UpdateImage image;
        QString firmwareVersion; // the file's, as its header reads
        qint64 updateBytes = 0;
        // Who signed the file, as a clause ("signed by maker (key …)", "not signed").
        QString signature;
        // The file carries no trusted signature and --allow-unsigned was given.
        bool allowUnsigned = false;
    };

    // An attached device left out by --all, and why.
    struct Skipped
    {
        MLPDeviceInfoNode device;
        QString reason;
        UnitPlan::Decision decision = UnitPlan::Decision::DoesNotFit;
    };

    QList<Item> items;
    QList<Skipped> skipped;

    // kExitSuccess unless nothing may be sent; then refusal says why, refusalDetails lists
    // what the person needs to choose or fix.
    CliExitCode refusalCode = kExitSuccess;
    QString refusal;
    QStringList refusalDetails;
    // The refusal is that no device was found at all, so the reasons a device may be
    // invisible (access rights) are worth telling.
    bool noDeviceFound = false;

    bool isRefused() const { return refusalCode != kExitSuccess; }
};
