// The hot-key manager on an in-memory backend, and the main window's hot
// keys: registration, dispatch to the handlers, Escape during a selection.
#include <gtest/gtest.h>

#include <QTest>

#include "AppTestSupport.h"
#include "HotKeySupport.h"
#include "app/HotKeyManager.h"

using apptest::TFakeHotKeyBackend;
using apptest::TFakeKeys;
using app::THotKeyManager;

namespace {

constexpr uint32_t kCtrlAlt = app::kHotKeyCtrl | app::kHotKeyAlt;
constexpr uint32_t kCtrlAltMods = platform::kModControl | platform::kModAlt;

TEST(HotKeyValues, ShortcutsAndKeyTable) {
  EXPECT_EQ(app::HotKeyFromShortCut(Qt::CTRL | Qt::ALT | Qt::Key_R), 49234u);
  EXPECT_EQ(app::HotKeyFromShortCut(Qt::CTRL | Qt::ALT | Qt::Key_C), 49219u);
  EXPECT_EQ(app::HotKeyFromShortCut(Qt::SHIFT | Qt::META | Qt::Key_F5), 0x2000u | 0x10000u | 0x74u);
  EXPECT_EQ(app::HotKeyFromShortCut(Qt::CTRL | Qt::Key_unknown), 0u);
  // Every key of the table maps to a keysym and back to the same Qt key.
  for (int key : {int(Qt::Key_A), int(Qt::Key_9), int(Qt::Key_F12), int(Qt::Key_Escape), int(Qt::Key_Minus),
                  int(Qt::Key_Slash), int(Qt::Key_PageDown)}) {
    const uint32_t vk = platform::VirtualKeyFromQtKey(key);
    ASSERT_NE(vk, 0u) << key;
    EXPECT_EQ(platform::QtKeyFromVirtualKey(vk), key);
    EXPECT_NE(platform::XKeysymFromVirtualKey(vk), 0u);
  }
  EXPECT_EQ(platform::VirtualKeyFromQtKey(Qt::Key_Minus), 0xBDu);  // the main keyboard's minus
  EXPECT_EQ(platform::XKeysymFromVirtualKey('R'), 0x72u);          // XK_r: the key, not the letter case
}

TEST(HotKeyManager, IdentifiersAndRefusal) {
  TFakeKeys keys;
  THotKeyManager m(std::make_unique<TFakeHotKeyBackend>(keys));
  EXPECT_EQ(THotKeyManager::AtomName(49234), "HotKeyManagerHotKey49234");
  const uint16_t record = m.AddHotKey(49234);
  EXPECT_GE(record, 0xC000);
  EXPECT_EQ(platform::FindAtom("HotKeyManagerHotKey49234"), record);
  ASSERT_EQ(keys.Grabs.size(), 1u);
  EXPECT_EQ(keys.Grabs[0].Mods, kCtrlAltMods);
  EXPECT_EQ(keys.Grabs[0].Vk, uint32_t('R'));
  // The same key keeps its identifier, in this manager and in another one.
  EXPECT_TRUE(m.RemoveHotKey(49234));
  EXPECT_EQ(platform::FindAtom("HotKeyManagerHotKey49234"), 0);
  TFakeKeys otherKeys;
  THotKeyManager other(std::make_unique<TFakeHotKeyBackend>(otherKeys));
  const uint16_t again = m.AddHotKey(49234);
  EXPECT_EQ(other.AddHotKey(49234), again);
  EXPECT_NE(m.AddHotKey(kCtrlAlt | 'S'), again);

  // A refused key answers 0 and leaves no atom behind.
  keys.Refused.push_back('P');
  EXPECT_EQ(m.AddHotKey(kCtrlAlt | 'P'), 0);
  EXPECT_EQ(platform::FindAtom(THotKeyManager::AtomName(kCtrlAlt | 'P')), 0);
  EXPECT_EQ(m.HotKeyList().size(), 2u);
  EXPECT_FALSE(m.HotKeyValid(kCtrlAlt | 'P'));
  EXPECT_TRUE(m.HotKeyValid(kCtrlAlt | 'S'));  // held here: still held afterwards
  EXPECT_TRUE(m.HotKeyValid(kCtrlAlt | 'Q'));  // free: tried and let go
  EXPECT_EQ(keys.Grabs.size(), 2u);

  // ChangeHotKey with an unknown identifier changes nothing.
  EXPECT_EQ(m.ChangeHotKey(0xBEEF, kCtrlAlt | 'T'), 0);
  EXPECT_EQ(m.HotKeyList().size(), 2u);
  const uint16_t changed = m.ChangeHotKey(again, kCtrlAlt | 'T');
  EXPECT_NE(changed, 0);
  EXPECT_FALSE(m.RemoveHotKey(49234));
  EXPECT_FALSE(m.RemoveHotKeyByIndex(0xBEEF));
  m.ClearHotKeys();
  EXPECT_TRUE(keys.Grabs.empty());
  EXPECT_EQ(platform::FindAtom(THotKeyManager::AtomName(kCtrlAlt | 'T')), 0);
}

TEST(HotKeyManager, PressesOfListedKeysOnly) {
  TFakeKeys keys;
  auto backend = std::make_unique<TFakeHotKeyBackend>(keys);
  TFakeHotKeyBackend* b = backend.get();
  THotKeyManager m(std::move(backend));
  std::vector<std::pair<uint32_t, uint16_t>> pressed;
  m.SetOnHotKeyPressed([&](uint32_t AKey, uint16_t AIndex) { pressed.emplace_back(AKey, AIndex); });
  const uint16_t id = m.AddHotKey(kCtrlAlt | app::kHotKeyShift | app::kHotKeyWin | 0x70);
  ASSERT_TRUE(b->Press(kCtrlAltMods | platform::kModShift | platform::kModWin, 0x70));
  ASSERT_EQ(pressed.size(), 1u);
  EXPECT_EQ(pressed[0].first, kCtrlAlt | app::kHotKeyShift | app::kHotKeyWin | 0x70);
  EXPECT_EQ(pressed[0].second, id);
}

// The main window's handlers counted in the order they run.
class TCountingForm : public app::TMainForm {
 public:
  using TMainForm::TMainForm;
  QStringList Calls;
  void btRecordClick() override { Calls << "Record"; }
  void btPauseClick() override { Calls << "Pause"; }
  void btStopClick() override { Calls << "Stop"; }
};

struct TChooserProbe : app::TAreaChooser {
  std::function<void()> During;
  QStringList Calls;
  bool SelectRegion(QRect&) override {
    if (During) During();
    return false;
  }
  bool SelectWindow(QRect&, unsigned long&) override {
    if (During) During();
    return false;
  }
  void ChooseKeyPressed() override { Calls << "Choose"; }
  void CancelSelection() override { Calls << "Cancel"; }
};

struct THotKeyRig {
  apptest::TDesktopDouble Desktop;
  app::TErrorForm ErrorForm;
  app::TErrorReport Report{ErrorForm};
  QStringList Reported;
  TFakeKeys Keys;
  TFakeHotKeyBackend* Backend = nullptr;
  std::unique_ptr<TCountingForm> Form;
  TChooserProbe* Chooser = nullptr;
  THotKeyRig() {
    Report.ShowDialog = [this](app::TErrorForm& AForm) {
      Reported << AForm.lblErrorText->text();
      return int(QDialog::Rejected);
    };
    Form = std::make_unique<TCountingForm>(Report, nullptr);
    auto backend = std::make_unique<TFakeHotKeyBackend>(Keys);
    Backend = backend.get();
    Keys.Registered.clear();
    Form->SetHotKeyBackend(std::move(backend));
    auto chooser = std::make_unique<TChooserProbe>();
    Chooser = chooser.get();
    Form->SetAreaChooser(std::move(chooser));
  }
};

TEST(MainFormHotKeys, RegistrationAndDispatch) {
  THotKeyRig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  // Choose window, Record, Pause, Stop: in this order.
  EXPECT_EQ(rig.Keys.Registered, (std::vector<uint32_t>{'C', 'R', 'P', 'S'}));
  EXPECT_EQ(f.lbl4->text(), "Record: Ctrl+Alt+R, Pause: Ctrl+Alt+P, Stop recording: Ctrl+Alt+S");

  // Pause acts only while its button is enabled.
  rig.Backend->Press(kCtrlAltMods, 'P');
  rig.Backend->Press(kCtrlAltMods, 'R');
  f.btPause->setEnabled(true);
  rig.Backend->Press(kCtrlAltMods, 'P');
  rig.Backend->Press(kCtrlAltMods, 'S');
  rig.Backend->Press(kCtrlAltMods, 'C');
  EXPECT_EQ(f.Calls, (QStringList{"Record", "Pause", "Stop"}));
  EXPECT_EQ(rig.Chooser->Calls, QStringList{"Choose"});

  // A key shared by Record and Stop runs both, Record first.
  f.Calls.clear();
  f.hkStop->setKeySequence(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
  f.hkStopChange();
  EXPECT_EQ(f.lbl4->text(), "Record: Ctrl+Alt+R, Pause: Ctrl+Alt+P, Stop recording: Ctrl+Alt+R");
  rig.Backend->Press(kCtrlAltMods, 'R');
  EXPECT_EQ(f.Calls, (QStringList{"Record", "Stop"}));
  EXPECT_FALSE(rig.Backend->Press(kCtrlAltMods, 'S'));  // no longer grabbed
  EXPECT_TRUE(rig.Reported.isEmpty());
}

TEST(MainFormHotKeys, FieldsSubstituteCtrlAltAndRefusalIsSilent) {
  THotKeyRig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  rig.Keys.Refused.push_back('X');
  f.hkStop->setKeySequence(QKeySequence(Qt::SHIFT | Qt::Key_X));
  f.hkStopChange();
  EXPECT_EQ(TCountingForm::HotKeyText(f.hkStop), "Ctrl+Alt+X");
  EXPECT_EQ(TCountingForm::HotKeyValue(f.hkStop), kCtrlAlt | 'X');
  // Stop has no hot key now; the others still work, nothing is reported.
  EXPECT_EQ(f.HotKeyManager1->HotKeyList().size(), 3u);
  EXPECT_TRUE(rig.Reported.isEmpty());
  f.hkPause->setKeySequence(QKeySequence(Qt::Key_F9));
  f.hkPauseChange();
  EXPECT_EQ(TCountingForm::HotKeyText(f.hkPause), "Ctrl+Alt+F9");
  f.FormClose();
  EXPECT_TRUE(rig.Keys.Grabs.empty());
}

TEST(MainFormHotKeys, EscapeIsGrabbedWhileASelectionWindowShows) {
  THotKeyRig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  // The Choose-window key refused: Escape is the way out.
  rig.Keys.Refused.push_back('C');
  f.hkChooseWindowChange();
  bool escapeHeld = false;
  rig.Chooser->During = [&] {
    escapeHeld = rig.Backend->Press(0, 0x1B);
    rig.Backend->Press(kCtrlAltMods, 'C');  // refused: nothing happens
  };
  f.cbRecordType->setCurrentIndex(1);
  EXPECT_TRUE(escapeHeld);
  EXPECT_EQ(rig.Chooser->Calls, QStringList{"Cancel"});
  f.cbRecordType->setCurrentIndex(2);
  EXPECT_EQ(rig.Chooser->Calls, (QStringList{"Cancel", "Cancel"}));
  // Afterwards Escape is free again.
  EXPECT_FALSE(rig.Backend->Press(0, 0x1B));
  EXPECT_EQ(f.HotKeyManager1->HotKeyList().size(), 3u);
}

}  // namespace
