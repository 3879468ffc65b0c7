#pragma once
// A coloured ring on the screen around a rectangle: an always-on-top window
// without decorations, cut to a frame of a few pixels, that lets every click
// through. Used to show the user what is being recorded.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ScreenSource.h"

namespace platform {

class TAreaRing {
 public:
  virtual ~TAreaRing() = default;
  // Top-left corner of the ring's window on the screen.
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  // Moves the ring (top-left corner of its window) and keeps it on top.
  virtual bool MoveTo(int AX, int AY) = 0;
  // Puts the ring above the other windows again without moving it.
  virtual bool KeepOnTop() = 0;
  // Paints the ring in a colour 0xRRGGBB.
  virtual bool SetColour(uint32_t ARgb) = 0;
  // Screen position of a window's client area, or of the window with its
  // window-manager frame; false when the window is gone.
  virtual bool WindowOrigin(TWindowId AWindow, bool AClient, int& AX, int& AY) = 0;
};

// A ring of AWidth x AHeight outside pixels and ABorder pixels thickness at
// AX, AY on the screen of AWindow (the default screen for 0), shown at once,
// on a connection of its own to $DISPLAY. nullptr with the reason in AError
// when there is no display.
std::unique_ptr<TAreaRing> OpenAreaRing(TWindowId AWindow, int AX, int AY, int AWidth, int AHeight, int ABorder,
                                        uint32_t ARgb, std::string& AError);

}  // namespace platform
