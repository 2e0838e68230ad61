#pragma once

#include "recordingd2xx.h"

#include <QtTest>

namespace marlune::testing {

// A link over bridges lists them on its first open and keeps that list until asked to
// enumerate again: a bridge plugged in later is not opened before then. Fails the calling
// test otherwise.
template <typename Link>
void checkOnlyTheFirstOpenEnumerates(RecordingD2xx& d2xx)
{
    d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"));
    Link link;
    link.openIndex(0);
    d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DGL"));

    link.openIndex(0);
    link.openIndex(1);

    QCOMPARE(d2xx.callCount(QStringLiteral("FT_CreateDeviceInfoList")), 1);
    QCOMPARE(d2xx.callCount(QStringLiteral("FT_Open(1)")), 0);

    QCOMPARE(link.enumerate(), 2);
    link.openIndex(1);
    QCOMPARE(d2xx.callCount(QStringLiteral("FT_Open(1)")), 1);
}

} // namespace marlune::testing
