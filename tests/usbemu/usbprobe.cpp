// Lists what the real libusb and libftdi1 see, one line per device, and talks to the
// first maker device: the child process of the USB emulation tests.
#include <ftdi.h>
#include <libusb.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr uint16_t kMakerVendorId = 0x16D0;
constexpr unsigned char kBulkIn = 0x81;
constexpr unsigned char kBulkOut = 0x01;
constexpr unsigned int kReadTimeoutMs = 2000;

void listUsbDevices(libusb_context* context)
{
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) {
            continue;
        }
        std::string serial = "-";
        libusb_device_handle* handle = nullptr;
        if (descriptor.iSerialNumber != 0 && libusb_open(list[i], &handle) == 0) {
            unsigned char text[64] = {};
            if (libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text) > 0) {
                serial = reinterpret_cast<char*>(text);
            }
            libusb_close(handle);
        }
        std::printf("usb %04x:%04x %s\n", descriptor.idVendor, descriptor.idProduct, serial.c_str());
    }
    libusb_free_device_list(list, 1);
}

void listFtdiBridges()
{
    ftdi_context* ftdi = ftdi_new();
    ftdi_device_list* list = nullptr;
    if (ftdi_usb_find_all(ftdi, &list, 0x0403, 0x6001) > 0) {
        for (ftdi_device_list* node = list; node != nullptr; node = node->next) {
            char description[64] = {};
            char serial[64] = {};
            ftdi_usb_get_strings2(ftdi, node->dev, nullptr, 0, description, sizeof description, serial,
                                  sizeof serial);
            std::printf("ftdi %s %s\n", description, serial);
        }
    }
    ftdi_list_free(&list);
    ftdi_free(ftdi);
}

// Sends the text to the first maker device and prints what comes back.
void echoThroughMakerDevice(libusb_context* context, const char* text)
{
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    libusb_device_handle* handle = nullptr;
    for (ssize_t i = 0; i < count && handle == nullptr; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
            descriptor.idVendor == kMakerVendorId && libusb_open(list[i], &handle) != 0) {
            handle = nullptr;
        }
    }
    libusb_free_device_list(list, 1);
    if (handle == nullptr || libusb_claim_interface(handle, 0) != 0) {
        std::printf("echo failed: no device\n");
        return;
    }
    int transferred = 0;
    std::string request(text);
    libusb_bulk_transfer(handle, kBulkOut, reinterpret_cast<unsigned char*>(request.data()),
                         int(request.size()), &transferred, 0);
    unsigned char answer[64] = {};
    const int result =
        libusb_bulk_transfer(handle, kBulkIn, answer, sizeof answer - 1, &transferred, kReadTimeoutMs);
    if (result == 0) {
        std::printf("echo %s\n", reinterpret_cast<char*>(answer));
    } else {
        std::printf("echo failed: %s\n", libusb_error_name(result));
    }
    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

} // namespace

int main(int argc, char** argv)
{
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        std::printf("libusb_init failed\n");
        return 1;
    }
    listUsbDevices(context);
    listFtdiBridges();
    if (argc > 2 && std::strcmp(argv[1], "--echo") == 0) {
        echoThroughMakerDevice(context, argv[2]);
    }
    libusb_exit(context);
    return 0;
}
