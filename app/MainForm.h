#pragma once
// The main window: recording buttons, status, and the four collapsible
// sections "Record from:", "Record to:", "Using settings:" and "Hot Keys:"
// with their one-line summaries; the format profiles behind "Record to:";
// the roll-up behaviour, the system menu, the help page and the about box.
// Recording itself (Record, Pause, Stop) is left to the recording controller.

#include <QCheckBox>
#include <QComboBox>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "app/AreaChooser.h"
#include "app/Formats.h"
#include "app/HotKeyManager.h"
#include "app/RecordingEncoder.h"
#include "app/errordlg.h"
#include "app/skin/Controls.h"
#include "app/skin/SkinForm.h"
#include "capture/WavePauseFlags.h"

namespace app {

class TAboutForm;

struct TCaptureArea {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  unsigned long Handle = 0;
};

class TMainForm : public skin::TSkinForm {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 451;
  static constexpr int kButtonPanelHeight = 56;
  static constexpr int kHeaderHeight = 27;
  enum TSection { sRecordFrom, sRecordTo, sSettings, sHotKeys, kSectionCount };
  static constexpr int kSectionAmount[kSectionCount] = {60, 155, 103, 60};

  // Creates the window (FormCreate); AProfileFile defaults to
  // Profiles/Formats.dat beside the program.
  TMainForm(TErrorReport& AErrorReport, TAboutForm* AAboutForm, const QString& AProfileFile = {});
  ~TMainForm() override;

  void FormShow();
  virtual void ReportError(const QString& AMessage, const QString& ACode);

  // Sections.
  void ExpandSection(TSection ASection);
  void CollapseSection(TSection ASection);
  void CollapseAllSections();
  bool SectionExpanded(TSection ASection) const;
  QWidget* SectionPanel(TSection ASection) const;

  void ShowCaptionButtons(bool AShow);
  void spDynamicSkinForm1ChangeRollUpState();

  void SelectCaptureArea(int AKind);
  void SetAreaChooser(std::unique_ptr<TAreaChooser> AChooser) { FAreaChooser = std::move(AChooser); }

  // Profiles.
  void FillFormatControls(int AIndex);
  void cmbProfileChange();

  // Summaries.
  void UpdateOutputSummary();
  void UpdateSettingsSummary();
  void UpdateHotKeySummary();

  // Handlers.
  void btChooseClick();
  void chRecordAudioClick();
  void spSkinCheckRadioBox5Click();
  void seesrg1Click();
  void Support1Click();
  void ProductPage1Click();
  void About1Click();
  // Recording controller (MainFormRecord.cpp, MainFormRecordState.cpp).
  virtual void btRecordClick();
  virtual void btPauseClick();
  virtual void btStopClick();
  void btTimerClick();
  void VidaxTerminate(const TRecordEnd& AInfo);
  void TimerTimer();
  void Timer1Timer();
  // Stops a running recording and waits for its end; never refuses.
  void FormCloseQuery();
  // Replaces the encoder (tests); the window must be idle.
  void SetEncoder(std::unique_ptr<TRecordingEncoder> AEncoder);
  TRecordingEncoder* Encoder() const { return Vidax.get(); }
  // Directory + "/" + file name + the selected profile's extension.
  QString OutputPath() const;
  // The elapsed clock's text, "H:mm:ss".
  static QString ElapsedText(int ASeconds);

  // Global hot keys (MainFormHotKeys.cpp).
  void RegisterHotKeys();
  void HotKeyManager1HotKeyPressed(uint32_t AHotKey, uint16_t AIndex);
  void hkRecordChange() { hkChange(hkRecord); }
  void hkPauseChange() { hkChange(hkPause); }
  void hkStopChange() { hkChange(hkStop); }
  void hkChooseWindowChange() { hkChange(hkChooseWindow); }
  void FormClose();
  // Replaces the system's key grabs (tests); the four keys are registered anew.
  void SetHotKeyBackend(std::unique_ptr<platform::THotKeyBackend> ABackend);
  // The hot-key value of a field's key, 0 when it has none.
  static uint32_t HotKeyValue(const QKeySequenceEdit* AField);
  static constexpr uint32_t kEscapeHotKey = 0x1B;

  // Text of a hot-key field's key in the platform's shortcut notation.
  static QString HotKeyText(const QKeySequenceEdit* AField);

  // Program-wide values.
  TCaptureArea CaptureArea;
  std::unique_ptr<THotKeyManager> HotKeyManager1;
  int CollapsedHeight = 0;
  TFormats Formats;
  bool ShowAudioHelp = true;
  int RecordState = 0;
  // Recording controller state.
  bool SavedRollUp = false;
  int SavedLeft = 0;
  int SavedTop = 0;
  // Non-zero while paused: the audio device drops what it captures. Its
  // address travels in the audio option string; the registration lets the
  // device accept exactly this address.
  capture::TWavePauseFlag FWavePauseFlag{0};
  QTimer* Timer;   // elapsed clock, 1000 ms
  QTimer* Timer1;  // caption blink, 400 ms

  // Button panel.
  QWidget* spSkinPanel1;
  QPushButton* btRecord;
  QPushButton* btPause;
  QPushButton* btStop;
  QPushButton* btTimer;
  QLabel* lblStatus;
  QLabel* lblTime;
  // Section panels, headers.
  skin::TSectionPanel* spSkinPanel2;
  skin::TSectionPanel* spSkinPanel3;
  skin::TSectionPanel* spSkinPanel4;
  skin::TSectionPanel* spSkinPanel5;
  skin::TImageButton* btRecordFrom1;
  skin::TImageButton* btRecordFrom2;
  skin::TImageButton* btRecordTo1;
  skin::TImageButton* btRecordTo2;
  skin::TImageButton* btRecordSettings1;
  skin::TImageButton* btSettings2;
  skin::TImageButton* btHotkeys1;
  skin::TImageButton* btHotkeys2;
  QLabel* spSkinStdLabel1;
  QLabel* spSkinStdLabel8;
  QLabel* spSkinStdLabel2;
  QLabel* spSkinStdLabel3;
  skin::TSummaryLabel* lbl1;
  skin::TSummaryLabel* lbl2;
  skin::TSummaryLabel* lbl3;
  skin::TSummaryLabel* lbl4;
  // Record from.
  QComboBox* cbRecordType;
  QPushButton* btEdit;
  QCheckBox* chRecordAudio;
  QPushButton* btChoose;
  // Record to.
  skin::TDirectoryEdit* edDestination;
  QLineEdit* edFileName;
  QComboBox* cmbProfile;
  QComboBox* cmbVideoResolution;
  QComboBox* cmbVideoEncoder;
  QComboBox* cmbVideoBitrate;
  QComboBox* cmbAudioEncoder;
  QComboBox* cmbAudioBitrate;
  QComboBox* cmbChannel;
  QComboBox* cmbVideoFrameRate;  // never shown
  QComboBox* cmbSampleRate;      // never shown
  // Using settings.
  QCheckBox* spSkinCheckRadioBox2;  // draw a frame
  QCheckBox* spSkinCheckRadioBox3;  // capture cursor
  QCheckBox* spSkinCheckRadioBox5;  // minimize
  QCheckBox* spSkinCheckRadioBox4;  // disable the screensaver
  // Hot keys.
  QLabel* lblHkRecord;
  QLabel* lblHkPause;
  QLabel* lblHkStop;
  QLabel* lblHkChooseWindow;
  QKeySequenceEdit* hkRecord;
  QKeySequenceEdit* hkPause;
  QKeySequenceEdit* hkStop;
  QKeySequenceEdit* hkChooseWindow;

 protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  struct TSectionParts {
    skin::TSectionPanel* Panel;
    skin::TImageButton* Expand;
    skin::TImageButton* Collapse;
  };
  // Building the window (MainFormLayout.cpp).
  void BuildButtonPanel(QWidget* AParent);
  skin::TSectionPanel* BuildSection(TSection ASection, QWidget* AParent, skin::TImageButton*& AExpand,
                                    skin::TImageButton*& ACollapse, QLabel*& ATitle,
                                    skin::TSummaryLabel*& ASummary);
  void BuildRecordFrom();
  void BuildRecordTo();
  void BuildSettings();
  void BuildHotKeys();
  void BuildSystemMenu();
  void ConnectHandlers();
  void SetDefaultDestination();
  void LoadFormatsStep(const QString& AProfileFile);
  void FillList(QComboBox* ACombo, const QString& AAttribute, const QString& ADefault);
  void hkChange(QKeySequenceEdit* AField);
  // Runs a selection window with plain Escape grabbed for the whole desktop.
  bool SelectWithEscape(const std::function<bool()>& ASelect);
  void OpenHelpPage();
  void RelayoutPanels();

  TErrorReport& FErrorReport;
  TAboutForm* FAboutForm;
  std::unique_ptr<TAreaChooser> FAreaChooser;
  TSectionParts FSections[kSectionCount]{};
  bool FShown = false;
  bool FFilling = false;
  bool FSelecting = false;  // a selection window is showing

  // Recording controller (MainFormRecord.cpp, MainFormRecordState.cpp).
  // What a start did to the window and the desktop, undone once at its end.
  struct TStartEffects {
    bool Active = false;
    bool Minimized = false;
    bool RolledUp = false;
    bool ScreenSaverSuspended = false;
  };
  void StartRecording();
  bool FillOutputOptions(int32_t ATaskIndex, bool AAudio, encoder::TOutputOptions& AOptions);
  void AbandonTask(int32_t ATaskIndex);
  void PauseRecording();
  void ResumeRecording();
  void SetRecordingControls();
  void SetIdleControls();
  void PlaceWindowForRecording();
  void UndoStartEffects();
  void EndRecording(bool AOpenFile);
  void OpenOutputFile();
  void ShowWarning(const QString& AText);
  void ConnectEncoder();
  void BuildRecordTimers();
  capture::TWavePauseFlagRegistration FWavePauseFlagRegistration{&FWavePauseFlag};
  std::unique_ptr<TRecordingEncoder> Vidax;
  TStartEffects FStartEffects;
  void HandleRecordEnd(const TRecordEnd& AInfo);
  std::deque<TRecordEnd> FPendingEnds;  // notifications not yet handled, in order
  bool FHandlingEnds = false;
  bool FEncoderDetached = false;  // the termination handler was cleared by a close
  int FElapsedSeconds = 0;
  // Notifications posted to the UI thread check it before touching the window.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

}  // namespace app
