// The key table of the hot keys: stored values use Windows virtual-key codes,
// the hot-key fields use Qt keys, the X server uses keysyms.
#include <Qt>
#include <X11/keysym.h>

#include "platform/HotKeys.h"

namespace platform {

namespace {

struct TKeyEntry {
  uint32_t Vk;
  int QtKey;
  unsigned long Keysym;
};

// Keys outside the letter, digit and function-key ranges.
constexpr TKeyEntry kKeys[] = {
    {0x08, Qt::Key_Backspace, XK_BackSpace}, {0x09, Qt::Key_Tab, XK_Tab},
    {0x0D, Qt::Key_Return, XK_Return},       {0x13, Qt::Key_Pause, XK_Pause},
    {0x1B, Qt::Key_Escape, XK_Escape},       {0x20, Qt::Key_Space, XK_space},
    {0x21, Qt::Key_PageUp, XK_Prior},        {0x22, Qt::Key_PageDown, XK_Next},
    {0x23, Qt::Key_End, XK_End},             {0x24, Qt::Key_Home, XK_Home},
    {0x25, Qt::Key_Left, XK_Left},           {0x26, Qt::Key_Up, XK_Up},
    {0x27, Qt::Key_Right, XK_Right},         {0x28, Qt::Key_Down, XK_Down},
    {0x2C, Qt::Key_Print, XK_Print},         {0x2D, Qt::Key_Insert, XK_Insert},
    {0x2E, Qt::Key_Delete, XK_Delete},       {0x6A, Qt::Key_Asterisk, XK_KP_Multiply},
    {0x6B, Qt::Key_Plus, XK_KP_Add},         {0x6D, Qt::Key_Minus, XK_KP_Subtract},
    {0x6F, Qt::Key_Slash, XK_KP_Divide},     {0xBA, Qt::Key_Semicolon, XK_semicolon},
    {0xBB, Qt::Key_Equal, XK_equal},         {0xBC, Qt::Key_Comma, XK_comma},
    {0xBD, Qt::Key_Minus, XK_minus},         {0xBE, Qt::Key_Period, XK_period},
    {0xBF, Qt::Key_Slash, XK_slash},         {0xC0, Qt::Key_QuoteLeft, XK_grave},
    {0xDB, Qt::Key_BracketLeft, XK_bracketleft}, {0xDC, Qt::Key_Backslash, XK_backslash},
    {0xDD, Qt::Key_BracketRight, XK_bracketright}, {0xDE, Qt::Key_Apostrophe, XK_apostrophe},
};

constexpr uint32_t kVkF1 = 0x70;
constexpr int kFunctionKeys = 24;

}  // namespace

uint32_t VirtualKeyFromQtKey(int AQtKey) {
  if ((AQtKey >= Qt::Key_A && AQtKey <= Qt::Key_Z) || (AQtKey >= Qt::Key_0 && AQtKey <= Qt::Key_9))
    return uint32_t(AQtKey);  // the same codes
  if (AQtKey >= Qt::Key_F1 && AQtKey < Qt::Key_F1 + kFunctionKeys) return kVkF1 + uint32_t(AQtKey - Qt::Key_F1);
  // The main keyboard's keys come first where the keypad has the same Qt key.
  for (const TKeyEntry& e : kKeys) {
    if (e.QtKey == AQtKey && e.Vk != 0x6A && e.Vk != 0x6B && e.Vk != 0x6D && e.Vk != 0x6F) return e.Vk;
  }
  for (const TKeyEntry& e : kKeys) {
    if (e.QtKey == AQtKey) return e.Vk;
  }
  return 0;
}

int QtKeyFromVirtualKey(uint32_t AVirtualKey) {
  if ((AVirtualKey >= 'A' && AVirtualKey <= 'Z') || (AVirtualKey >= '0' && AVirtualKey <= '9'))
    return int(AVirtualKey);
  if (AVirtualKey >= kVkF1 && AVirtualKey < kVkF1 + kFunctionKeys) return Qt::Key_F1 + int(AVirtualKey - kVkF1);
  for (const TKeyEntry& e : kKeys) {
    if (e.Vk == AVirtualKey) return e.QtKey;
  }
  return 0;
}

unsigned long XKeysymFromVirtualKey(uint32_t AVirtualKey) {
  // Letters as their lower-case keysyms: the key, whatever Shift does to it.
  if (AVirtualKey >= 'A' && AVirtualKey <= 'Z') return XK_a + (AVirtualKey - 'A');
  if (AVirtualKey >= '0' && AVirtualKey <= '9') return XK_0 + (AVirtualKey - '0');
  if (AVirtualKey >= kVkF1 && AVirtualKey < kVkF1 + kFunctionKeys) return XK_F1 + (AVirtualKey - kVkF1);
  if (AVirtualKey >= 0x60 && AVirtualKey <= 0x69) return XK_KP_0 + (AVirtualKey - 0x60);
  for (const TKeyEntry& e : kKeys) {
    if (e.Vk == AVirtualKey) return e.Keysym;
  }
  return 0;
}

}  // namespace platform
