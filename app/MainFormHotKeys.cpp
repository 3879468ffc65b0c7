// The main window's global hot keys: registering the four keys of the
// "Hot Keys:" fields and routing their presses to the recording handlers
// and to the selection window that is showing.
#include <QCloseEvent>
#include <exception>

#include "app/MainForm.h"

namespace app {

uint32_t TMainForm::HotKeyValue(const QKeySequenceEdit* AField) {
  const QKeySequence sequence = AField->keySequence();
  return sequence.isEmpty() ? 0 : HotKeyFromShortCut(sequence[0]);
}

void TMainForm::SetHotKeyBackend(std::unique_ptr<platform::THotKeyBackend> ABackend) {
  HotKeyManager1.reset();  // lets go of the old grabs first
  HotKeyManager1 = std::make_unique<THotKeyManager>(std::move(ABackend));
  HotKeyManager1->SetOnHotKeyPressed(
      [this](uint32_t AHotKey, uint16_t AIndex) { HotKeyManager1HotKeyPressed(AHotKey, AIndex); });
  RegisterHotKeys();
}

void TMainForm::RegisterHotKeys() {
  HotKeyManager1->ClearHotKeys();
  try {
    // A key the system refuses is skipped: that hot key just does not work.
    for (const QKeySequenceEdit* field : {hkChooseWindow, hkRecord, hkPause, hkStop}) {
      if (const uint32_t value = HotKeyValue(field)) HotKeyManager1->AddHotKey(value);
    }
  } catch (const std::exception&) {
    ReportError("Error adding hotkeys", "CLM_AddHotKey");
  }
}

void TMainForm::HotKeyManager1HotKeyPressed(uint32_t AHotKey, uint16_t) {
  if (AHotKey == kEscapeHotKey) {
    if (FSelecting) FAreaChooser->CancelSelection();
    return;
  }
  // Independent comparisons: a key shared by two fields triggers both.
  if (AHotKey == HotKeyValue(hkChooseWindow)) FAreaChooser->ChooseKeyPressed();
  if (AHotKey == HotKeyValue(hkPause) && btPause->isEnabled()) btPauseClick();
  if (AHotKey == HotKeyValue(hkRecord)) btRecordClick();
  if (AHotKey == HotKeyValue(hkStop)) btStopClick();
}

bool TMainForm::SelectWithEscape(const std::function<bool()>& ASelect) {
  // Escape always leaves a selection window, even when the Choose-window key
  // was refused and the window never gets the keyboard.
  const uint16_t escape = HotKeyManager1->AddHotKey(kEscapeHotKey);
  FSelecting = true;
  bool chosen = false;
  try {
    chosen = ASelect();
  } catch (...) {
    FSelecting = false;
    if (escape != 0) HotKeyManager1->RemoveHotKeyByIndex(escape);
    throw;
  }
  FSelecting = false;
  if (escape != 0) HotKeyManager1->RemoveHotKeyByIndex(escape);
  return chosen;
}

void TMainForm::FormClose() { HotKeyManager1->ClearHotKeys(); }

void TMainForm::closeEvent(QCloseEvent* AEvent) {
  FormCloseQuery();
  TSkinForm::closeEvent(AEvent);
  if (AEvent->isAccepted()) FormClose();
}

}  // namespace app
