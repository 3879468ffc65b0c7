// The selection windows behind "Selected Area" and "Window or Control".
#include "app/AreaChooser.h"

#include "app/scFreeHandWnd.h"
#include "app/scSelObjWnd.h"

namespace app {

TScreenAreaChooser::TScreenAreaChooser(std::function<QString()> AChooseKeyText)
    : FChooseKeyText(std::move(AChooseKeyText)) {}

bool TScreenAreaChooser::SelectRegion(QRect& ARegion) {
  TFreeHandWindow window;
  FFreeHand = &window;
  const bool ok = window.Execute();
  FFreeHand = nullptr;
  if (!ok) return false;
  const TFreeHandState::TRegion r = window.PRegion();
  ARegion = QRect(r.Left, r.Top, r.Right, r.Bottom);
  return true;
}

bool TScreenAreaChooser::SelectWindow(QRect& ARegion, unsigned long& AHandle) {
  std::unique_ptr<platform::TWindowQuery> query = platform::OpenWindowQuery();
  if (query == nullptr) return false;  // no display to pick from
  TSelObjWindow window(std::move(query), FChooseKeyText);
  FSelObj = &window;
  window.Timer1Timer();  // placed before it first shows
  const bool ok = window.exec() == QDialog::Accepted;
  FSelObj = nullptr;
  if (!ok || window.Hand == 0) return false;
  ARegion = QRect(window.PRegion.Left, window.PRegion.Top, window.PRegion.Right, window.PRegion.Bottom);
  AHandle = window.Hand;
  return true;
}

void TScreenAreaChooser::ChooseKeyPressed() {
  if (FSelObj != nullptr && FSelObj->isVisible()) FSelObj->TakeWindow();
  if (FFreeHand != nullptr && FFreeHand->isVisible()) FFreeHand->reject();
}

void TScreenAreaChooser::CancelSelection() {
  if (FSelObj != nullptr && FSelObj->isVisible()) FSelObj->reject();
  if (FFreeHand != nullptr && FFreeHand->isVisible()) FFreeHand->reject();
}

}  // namespace app
