#pragma once

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace marlune::testing {

// libusb-1.0 for unit tests, linked in place of the real library: a bus of devices the test
// describes, scripted bulk-in answers, and a log of the calls a link makes on devices
// ("libusb_open(1)", "libusb_bulk_transfer(81, 64, 800)"). Reference counts and open
// handles are tracked so a test can check that a link gives back what it took.
class RecordingLibusb
{
public:
    struct Device
    {
        uint16_t vendorId = 0x16D0;
        uint16_t productId = 0x0B23;
        std::string serial;
        bool hasSerial = true;
        bool openable = true;
        int kernelDriverActive = 0;
        int claimResult = 0;
    };

    struct BulkInAnswer
    {
        int result = 0;
        QByteArray bytes;
    };

    struct BulkOutAnswer
    {
        int result = 0;
        int transferred = 0;
    };

    static RecordingLibusb& instance();

    // An empty bus, a working library, no script, an empty log.
    void reset();

    int initResult = 0;
    std::vector<Device> devices;
    // Answers for the bulk-in transfers in turn; once used up, every transfer times out empty.
    std::deque<BulkInAnswer> bulkInAnswers;
    // Answers for the bulk-out transfers in turn; once used up, every transfer takes all its bytes.
    std::deque<BulkOutAnswer> bulkOutAnswers;
    // Bytes each bulk-out transfer took, in turn.
    std::vector<QByteArray> bulkOutWrites;

    QStringList calls;
    int callCount(const QString& callPrefix) const;

    // Held device references beyond those of the device list, and open handles.
    int heldReferences = 0;
    int openHandles = 0;
};

} // namespace marlune::testing
