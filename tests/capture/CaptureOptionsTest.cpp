// Option strings of the capture devices.
#include <gtest/gtest.h>

#include "capture/CaptureOptions.h"

using namespace capture;

namespace {

TScreenCaptureOptions Screen(const std::string& s) {
  TScreenCaptureOptions o;
  ParseScreenCaptureOptions(s, o);
  return o;
}

TWaveCaptureOptions Wave(const std::string& s) {
  TWaveCaptureOptions o;
  ParseWaveCaptureOptions(s, o);
  return o;
}

}  // namespace

TEST(IntegerConversion, StrictAcceptsSignedDecimalAndBothHexForms) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x1f"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(IntegerConversion, StrictRefusesMalformedAndOutOfRange) {
  for (const char* bad : {"", "640x480", "12 ", "0x", "$", "-", "1e3", "2147483648", "99999999999999999999"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  try {
    StrToInt("640x480");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'640x480' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("yes", 1), 1);
  EXPECT_EQ(StrToIntDef("", 5), 5);
  EXPECT_EQ(StrToInt64Def("140737488355328", 0), 140737488355328LL);  // an address above 4 GiB
}

TEST(ScreenOptions, ControllerStringSetsEverything) {
  const auto o = Screen("offset=10,20;framesize=640,480;framerate=25/1;showframe=1;cursor=1");
  EXPECT_EQ(o.x_off, 10);
  EXPECT_EQ(o.y_off, 20);
  EXPECT_EQ(o.width, 640);
  EXPECT_EQ(o.height, 480);
  EXPECT_EQ(o.time_base_num, 1);  // 25 frames per second: time base 1/25
  EXPECT_EQ(o.time_base_den, 25);
  EXPECT_EQ(o.show_frame, 1);
  EXPECT_EQ(o.cursor, 1);
  EXPECT_EQ(o.client, 0);
  EXPECT_EQ(o.window_handle, 0u);
  EXPECT_FALSE(o.has_title);
}

TEST(ScreenOptions, StrictPairsFailTheOpen) {
  EXPECT_THROW(Screen("framesize=640x480"), EConvertError);
  EXPECT_THROW(Screen("framerate=25"), EConvertError);  // second part missing
  EXPECT_THROW(Screen("framerate=25/"), EConvertError);
  EXPECT_THROW(Screen("offset=,5"), EConvertError);
  EXPECT_THROW(Screen("offset=1,2,3"), EConvertError);  // the second part is all the rest
  EXPECT_EQ(Screen("framerate=30000/1001").time_base_num, 1001);
  EXPECT_EQ(Screen("offset=$10,0x20").y_off, 32);
}

TEST(ScreenOptions, LenientKeysTakeTheirFallback) {
  EXPECT_EQ(Screen("cursor=yes").cursor, 1);
  EXPECT_EQ(Screen("cursor").cursor, 1);  // a key alone
  EXPECT_EQ(Screen("cursor=0").cursor, 0);
  EXPECT_EQ(Screen("").cursor, 0);
  EXPECT_EQ(Screen("client=x").client, 1);
  EXPECT_EQ(Screen("showframe=").show_frame, 1);
  EXPECT_EQ(Screen("hwnd=abc").window_handle, 0u);
  EXPECT_EQ(Screen("hwnd=4194305").window_handle, 4194305u);
  EXPECT_EQ(Screen("hwnd=0x400001").window_handle, 0x400001u);
}

TEST(ScreenOptions, KeysIgnoreCaseLaterItemsWinUnknownAndEmptyItemsIgnored) {
  const auto o = Screen("CURSOR=1;;Offset=5,6;bogus=7;offset=8,9;cursor=0;=3;noequals");
  EXPECT_EQ(o.x_off, 8);
  EXPECT_EQ(o.y_off, 9);
  EXPECT_EQ(o.cursor, 0);
}

TEST(ScreenOptions, TitleTakesTheRestOfTheString) {
  const auto o = Screen("cursor=0;title=Untitled - Notepad;cursor=1;a=b");
  EXPECT_TRUE(o.has_title);
  EXPECT_EQ(o.title, "Untitled - Notepad;cursor=1;a=b");
  EXPECT_EQ(o.cursor, 0);  // the item after title is part of the title
  EXPECT_EQ(Screen("Title=").title, "");
  EXPECT_TRUE(Screen("title").has_title);
}

TEST(ScreenOptions, CallerDefaultsStayWhenAbsent) {
  TScreenCaptureOptions o;
  o.width = 320;
  o.time_base_num = 1;
  o.time_base_den = 30;
  ParseScreenCaptureOptions("offset=1,1", o);
  EXPECT_EQ(o.width, 320);
  EXPECT_EQ(o.time_base_den, 30);
}

TEST(WaveOptions, DefaultsAndValues) {
  const auto d = Wave("");
  EXPECT_EQ(d.device, -1);
  EXPECT_EQ(d.sample_rate, 44100);
  EXPECT_EQ(d.channels, 2);
  EXPECT_EQ(d.bits, 16);
  EXPECT_EQ(d.buffer_size, 4096);
  EXPECT_EQ(d.pause_pointer, 0);
  const auto o = Wave("r=22050;c=1;f=8;BUFSIZE=1000;i=x;pause_pointer=140737488355328");
  EXPECT_EQ(o.sample_rate, 22050);
  EXPECT_EQ(o.channels, 1);
  EXPECT_EQ(o.bits, 8);
  EXPECT_EQ(o.buffer_size, 1000);
  EXPECT_EQ(o.device, -1);  // a malformed index selects the default device
  EXPECT_EQ(o.pause_pointer, 140737488355328LL);
  EXPECT_EQ(Wave("r=abc").sample_rate, 44100);
  EXPECT_EQ(Wave("i=2").device, 2);
}
