// Rules of the flat interface that need no reader: open arguments, list buffers, error texts.
#include <gtest/gtest.h>

#include <cstring>

#include "sdk/error_texts.h"
#include "sdk/list_buffer.h"
#include "sdk/sdk_app.h"

using namespace tw;

TEST(OpenArguments, AddressAfterLastColonAndBaudRule) {
  OpenArguments a = ParseOpenArguments("COM3:12", 57600);
  EXPECT_EQ(a.name, "COM3");
  EXPECT_EQ(a.address, 12);
  EXPECT_EQ(a.baud, 57600u);

  a = ParseOpenArguments("/dev/pts/4", 9600);
  EXPECT_EQ(a.address, 1);
  EXPECT_EQ(a.baud, 9600u);

  a = ParseOpenArguments("FT12AB:", 57600);  // nothing after the colon: address 1
  EXPECT_EQ(a.name, "FT12AB");
  EXPECT_EQ(a.address, 1);
  EXPECT_EQ(a.baud, 19200u);  // not a serial device name

  a = ParseOpenArguments(":7", 9600);
  EXPECT_EQ(a.name, "");
  EXPECT_EQ(a.address, 7);

  // A device path whose last colon is not followed by digits keeps its whole name.
  a = ParseOpenArguments("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", 9600);
  EXPECT_EQ(a.name, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
  EXPECT_EQ(a.address, 1);
}

TEST(ListBuffer, CopyRules) {
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(CopyListToBuffer({"COM1", "COM2"}, buf, sizeof buf), 11);
  EXPECT_EQ(std::memcmp(buf, "COM1\0COM2\0\0", 11), 0);

  // An entry fits only with room for its NUL and the final NUL.
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(CopyListToBuffer({"COM1", "COM2"}, buf, 10), 6);
  EXPECT_EQ(std::memcmp(buf, "COM1\0\0", 6), 0);
  EXPECT_EQ(buf[6], 'x');

  // The first entry that does not fit ends the copying, even if a later one would fit.
  EXPECT_EQ(CopyListToBuffer({"LONGENTRYNAME", "A"}, buf, 8), 1);
  EXPECT_EQ(buf[0], '\0');

  EXPECT_EQ(CopyListToBuffer({}, buf, sizeof buf), 1);
  buf[0] = 'x';
  EXPECT_EQ(CopyListToBuffer({"A"}, buf, 1), 1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(CopyListToBuffer({"A"}, buf, 0), 0);
  EXPECT_EQ(CopyListToBuffer({"A"}, nullptr, 5), 0);
}

TEST(ErrorTexts, GermanAsShownAndEnglish) {
  EXPECT_STREQ(ErrorText(6, false), "Fehler beim Port \xF6" "ffnen");
  EXPECT_STREQ(ErrorText(7, false), "Timeout");
  EXPECT_STREQ(ErrorText(8, false), "Blockl\xE4" "nge ist nicht korrekt");
  EXPECT_STREQ(ErrorText(15, false),
               "An diesem Port ist kein Leser angeschlossen.\r\nBitte w\xE4" "hlen sie eine "
               "andere Schnittstelle.");
  EXPECT_STREQ(ErrorText(21, false), "Kein g\xFC" "ltiger Transponder vorhanden!");
  EXPECT_STREQ(ErrorText(14, false), "Unbekannter Fehler ist aufgetreten");
  EXPECT_STREQ(ErrorText(-3, true), "An unknown error has occurred");
  EXPECT_STREQ(ErrorText(11, true), "No data to send");
}
