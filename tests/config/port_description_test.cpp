// The port list's tooltip: what the system tells of a port, in one line.
#include "config/port_description.h"

#include <gtest/gtest.h>

namespace taktm {
namespace {

TEST(PortDescriptionTest, DescriptionMakerUsbIdsAndSerialNumber) {
  PortFacts usb;
  usb.description = "USB-Serial Controller";
  usb.manufacturer = "Prolific";
  usb.vendor_id = 0x067B;
  usb.product_id = 0x2303;
  usb.serial_number = "A50285BI";
  EXPECT_EQ(PortDescriptionText(usb),
            "USB-Serial Controller (Prolific), USB 067b:2303, серийный номер "
            "A50285BI");
  // A maker repeated as the description is said once; half an id pair none.
  PortFacts plain;
  plain.description = "FTDI";
  plain.manufacturer = "FTDI";
  plain.vendor_id = 0x0403;
  EXPECT_EQ(PortDescriptionText(plain), "FTDI");
  PortFacts bare;
  bare.vendor_id = 0x0403;
  bare.product_id = 0x6001;
  EXPECT_EQ(PortDescriptionText(bare), "USB 0403:6001");
  EXPECT_EQ(PortDescriptionText(PortFacts{}), "");
}

}  // namespace
}  // namespace taktm
