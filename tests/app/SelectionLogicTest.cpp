// The selection windows' logic without a screen: the area selector's drag
// and hint, the picker's shape, and telling auto-repeat from a new press.
#include <gtest/gtest.h>

#include "app/scFreeHandWnd.h"
#include "app/scSelObjWnd.h"
#include "platform/x11/HotKeysX11.h"

using app::TFreeHandState;

namespace {

const QString kTail = "\n\r----------------------------------------\n\rHold down mouse and draw rectangle";

TEST(FreeHandState, DragUpAndLeftGivesTheNormalisedRectangle) {
  TFreeHandState s;
  s.Reset();
  s.MouseMove(10, 20);
  // Before the first press: position, separator, instruction; crosshair follows.
  EXPECT_EQ(s.Hint, "X: 10 Y: 20" + kTail);
  EXPECT_TRUE(s.Shape1.Visible && s.Shape2.Visible);
  EXPECT_FALSE(s.Shape3.Visible || s.Shape4.Visible);
  EXPECT_EQ(s.Shape1.Pos, 10);
  EXPECT_EQ(s.Shape2.Pos, 20);

  s.MouseDown(true, 300, 200);
  EXPECT_TRUE(s.Hint.isEmpty());
  EXPECT_TRUE(s.SelectRegion1);
  s.MouseMove(150, 120);
  s.MouseMove(100, 50);
  EXPECT_EQ(s.Hint, "X: 100 Y: 50\n\rSelected Area : 200 x 150" + kTail);
  EXPECT_EQ(s.Shape1.Pos, 300);  // first corner stays
  EXPECT_EQ(s.Shape3.Pos, 100);
  EXPECT_EQ(s.Shape4.Pos, 50);
  EXPECT_TRUE(s.MouseUp(100, 50));
  EXPECT_EQ(s.PRegion.Left, 100);
  EXPECT_EQ(s.PRegion.Top, 50);
  EXPECT_EQ(s.PRegion.Right, 200);  // width
  EXPECT_EQ(s.PRegion.Bottom, 150);  // height
}

TEST(FreeHandState, DragsWithoutAreaAreDiscarded) {
  TFreeHandState s;
  s.Reset();
  // A click without moving.
  s.MouseDown(true, 50, 60);
  EXPECT_FALSE(s.MouseUp(50, 60));
  EXPECT_FALSE(s.SelectRegion1);
  EXPECT_FALSE(s.RegionOK);
  // A purely horizontal drag: back to the crosshair, which follows again.
  s.MouseDown(true, 50, 60);
  s.MouseMove(200, 60);
  EXPECT_EQ(s.Hint, "X: 200 Y: 60" + kTail);  // no size line with a zero height
  EXPECT_FALSE(s.MouseUp(200, 60));
  s.MouseMove(70, 80);
  EXPECT_EQ(s.Shape1.Pos, 70);
  EXPECT_FALSE(s.Shape3.Visible);
  // The right button does not start a drag.
  s.MouseDown(false, 70, 80);
  EXPECT_FALSE(s.SelectRegion1);
  s.MouseMove(300, 300);
  EXPECT_FALSE(s.Shape3.Visible);
  EXPECT_FALSE(s.MouseUp(300, 300));
  // A proper drag afterwards still works.
  s.MouseDown(true, 10, 10);
  s.MouseMove(30, 40);
  EXPECT_TRUE(s.MouseUp(30, 40));
  EXPECT_EQ(s.PRegion.Right, 20);
  EXPECT_EQ(s.PRegion.Bottom, 30);
}

TEST(PickerShape, FrameAndLabelAroundAWindow) {
  // A window at 100, 50 of 800 x 600 with a label 60 x 13.
  const app::TPickerShape s = app::PickerShapeAround(100, 50, 800, 600, 60, 13);
  EXPECT_EQ(s.Window, QRect(98, 35, 803, 616));
  EXPECT_EQ(s.cRect, QRect(0, 13, 803, 603));
  // The label cell.
  EXPECT_TRUE(s.Shape.contains(QPoint(0, 0)));
  EXPECT_TRUE(s.Shape.contains(QPoint(59, 12)));
  EXPECT_FALSE(s.Shape.contains(QPoint(60, 0)));
  EXPECT_FALSE(s.Shape.contains(QPoint(802, 12)));
  // A one-pixel frame: two pixels left of and above the window, one right of and below it.
  for (QPoint onFrame : {QPoint(0, 13), QPoint(802, 13), QPoint(0, 615), QPoint(802, 615), QPoint(400, 13),
                         QPoint(400, 615)})
    EXPECT_TRUE(s.Shape.contains(onFrame)) << onFrame.x() << "," << onFrame.y();
  for (QPoint inside : {QPoint(1, 14), QPoint(801, 614), QPoint(400, 300)})
    EXPECT_FALSE(s.Shape.contains(inside)) << inside.x() << "," << inside.y();
  // On the screen: left line at x - 2, right line at x + w.
  EXPECT_EQ(s.Window.left(), 98);
  EXPECT_EQ(s.Window.left() + 802, 100 + 800);
  EXPECT_EQ(s.Window.top() + 13, 50 - 2);
  EXPECT_EQ(s.Window.top() + 615, 50 + 600);
}

TEST(KeyRepeatFilter, HeldKeysFireOnce) {
  platform::x11::TKeyRepeatFilter f;
  EXPECT_TRUE(f.Press(27, 1000));
  // Detectable auto-repeat: presses only.
  EXPECT_FALSE(f.Press(27, 1030));
  EXPECT_FALSE(f.Press(27, 1060));
  f.Release(27, 1100);
  // Plain auto-repeat: a release and a press with the same time.
  EXPECT_TRUE(f.Press(27, 2000));
  f.Release(27, 2030);
  EXPECT_FALSE(f.Press(27, 2030));
  f.Release(27, 2200);
  EXPECT_TRUE(f.Press(27, 2500));
  EXPECT_TRUE(f.Press(28, 2500));  // other keys are independent
}

}  // namespace
