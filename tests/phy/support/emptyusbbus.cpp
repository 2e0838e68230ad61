// Linked into a test in place of libusb's device listing: the real library initialises as
// usual but finds no device, whatever is plugged into the machine running the tests.

#include <libusb.h>

extern "C" {

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list)
{
    *list = new libusb_device* [1] { nullptr };
    return 0;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int)
{
    delete[] list;
}

} // extern "C"
