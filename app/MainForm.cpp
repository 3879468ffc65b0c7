// The main window: creation, showing, sections, roll-up, capture area,
// summaries and the small handlers.
#include "app/MainForm.h"

#include <QDir>
#include <QShowEvent>

#include "app/AboutForm.h"
#include "platform/Desktop.h"

namespace app {

namespace {
const QString kGuideUrl = "https://www.quorvane.com/screen-recorder/guide/";
const QString kSupportUrl = "https://www.quorvane.com/support/";
const QString kProductUrl = "https://www.quorvane.com/screen-recorder/";
}  // namespace

TMainForm::TMainForm(TErrorReport& AErrorReport, TAboutForm* AAboutForm, const QString& AProfileFile)
    : TSkinForm(kClientWidth),
      FErrorReport(AErrorReport),
      FAboutForm(AAboutForm),
      FAreaChooser(std::make_unique<TCancelledAreaChooser>()) {
  setFont(skin::DefaultFont());
  SetCaption("Quorvane Screen Recorder");
  QWidget* client = Client();
  BuildButtonPanel(client);
  spSkinPanel2 = BuildSection(sRecordFrom, client, btRecordFrom1, btRecordFrom2, spSkinStdLabel1, lbl1);
  spSkinPanel3 = BuildSection(sRecordTo, client, btRecordTo1, btRecordTo2, spSkinStdLabel8, lbl2);
  spSkinPanel4 = BuildSection(sSettings, client, btRecordSettings1, btSettings2, spSkinStdLabel2, lbl3);
  spSkinPanel5 = BuildSection(sHotKeys, client, btHotkeys1, btHotkeys2, spSkinStdLabel3, lbl4);
  BuildRecordFrom();
  BuildRecordTo();
  BuildSettings();
  BuildHotKeys();
  BuildSystemMenu();
  ConnectHandlers();
  BuildRecordTimers();
  OnChangeRollUpState = [this] { spDynamicSkinForm1ChangeRollUpState(); };

  SetHotKeyBackend(platform::OpenHotKeyBackend());
  // Every media log line goes into the error report's log history.
  media::GetFFLogger().SetOnLog([this](void* ASender, platform::ThreadId AThreadID, media::TLogLevel ALevel,
                                       const std::string& AMsg) {
    FErrorReport.FFLoggerLog(ASender, AThreadID, ALevel, AMsg);
  });
  spSkinStdLabel1->setText("Record from:");
  spSkinStdLabel8->setText("Record to:");
  spSkinStdLabel2->setText("Using settings:");
  spSkinStdLabel3->setText("Hot Keys:");
  SetDefaultDestination();
  SelectCaptureArea(0);
  LoadFormatsStep(AProfileFile.isEmpty() ? platform::desktop::AppDir() + "Profiles/Formats.dat" : AProfileFile);
  CollapsedHeight = kButtonPanelHeight + 4 * kHeaderHeight;
  CollapseAllSections();

  const QSize screen = platform::desktop::ScreenSize();
  if (screen.isValid()) move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
}

TMainForm::~TMainForm() {
  FormCloseQuery();
  if (media::CurrentFFLogger() != nullptr) media::GetFFLogger().SetOnLog(nullptr);
}

void TMainForm::ConnectHandlers() {
  for (int s = 0; s < kSectionCount; ++s) {
    const auto section = static_cast<TSection>(s);
    connect(FSections[s].Expand, &skin::TImageButton::clicked, this, [this, section] { ExpandSection(section); });
    connect(FSections[s].Collapse, &skin::TImageButton::clicked, this, [this, section] { CollapseSection(section); });
  }
  connect(cbRecordType, &QComboBox::currentIndexChanged, this, [this](int AIndex) { SelectCaptureArea(AIndex); });
  connect(btEdit, &QPushButton::clicked, this, [this] { SelectCaptureArea(cbRecordType->currentIndex()); });
  connect(chRecordAudio, &QCheckBox::toggled, this, &TMainForm::chRecordAudioClick);
  connect(btChoose, &QPushButton::clicked, this, &TMainForm::btChooseClick);
  for (QCheckBox* box : {spSkinCheckRadioBox2, spSkinCheckRadioBox3, spSkinCheckRadioBox4}) {
    connect(box, &QCheckBox::toggled, this, &TMainForm::UpdateSettingsSummary);
  }
  connect(spSkinCheckRadioBox5, &QCheckBox::toggled, this, &TMainForm::spSkinCheckRadioBox5Click);
  connect(edFileName, &QLineEdit::textChanged, this, &TMainForm::UpdateOutputSummary);
  connect(cmbProfile, &QComboBox::currentIndexChanged, this, [this] {
    if (!FFilling) cmbProfileChange();
  });
  for (QComboBox* list : {cmbVideoFrameRate, cmbVideoEncoder, cmbVideoBitrate, cmbSampleRate, cmbChannel,
                          cmbAudioEncoder, cmbAudioBitrate}) {
    connect(list, &QComboBox::currentIndexChanged, this, [this] {
      if (!FFilling) UpdateOutputSummary();
    });
  }
  connect(cmbVideoResolution, &QComboBox::editTextChanged, this, [this] {
    if (!FFilling) UpdateOutputSummary();
  });
  for (QKeySequenceEdit* field : {hkRecord, hkPause, hkStop, hkChooseWindow}) {
    connect(field, &QKeySequenceEdit::editingFinished, this, [this, field] { hkChange(field); });
  }

  connect(btRecord, &QPushButton::clicked, this, &TMainForm::btRecordClick);
  connect(btPause, &QPushButton::clicked, this, &TMainForm::btPauseClick);
  connect(btStop, &QPushButton::clicked, this, &TMainForm::btStopClick);
  const char* hints[kCaptionButtonCount] = {"Start recording", "Pause", "Stop"};
  for (int i = 0; i < kCaptionButtonCount; ++i) CaptionButton(i)->setToolTip(hints[i]);
  connect(CaptionButton(0), &skin::TImageButton::clicked, this, &TMainForm::btRecordClick);
  connect(CaptionButton(1), &skin::TImageButton::clicked, this, &TMainForm::btPauseClick);
  connect(CaptionButton(2), &skin::TImageButton::clicked, this, &TMainForm::btStopClick);
  CaptionButton(1)->setEnabled(false);
  CaptionButton(2)->setEnabled(false);
}

void TMainForm::SetDefaultDestination() {
  // The application-data folder; without one the home folder. Never a folder
  // at the root of the file system.
  QString base = platform::desktop::AppDataFolder();
  if (base.isEmpty()) base = platform::desktop::HomeFolder();
  if (base.isEmpty()) return;
  const QString company = base + "/Quorvane";
  if (!QDir(company).exists()) QDir().mkdir(company);
  const QString destination = company + "/ScreenRecorder";
  if (!QDir(destination).exists()) QDir().mkdir(destination);
  edDestination->SetText(destination);
}

void TMainForm::showEvent(QShowEvent* AEvent) {
  if (!FShown && !AEvent->spontaneous()) {
    FShown = true;
    FormShow();
  }
  TSkinForm::showEvent(AEvent);
}

void TMainForm::FormShow() {
  chRecordAudio->setFocus();
  FFilling = true;
  cmbProfile->clear();
  for (const TFormat& format : Formats) cmbProfile->addItem(format.Title);
  cmbProfile->setCurrentIndex(Formats.empty() ? -1 : 0);
  FFilling = false;
  if (!Formats.empty()) cmbProfileChange();
  // Without a profile there is nothing to record into.
  btRecord->setEnabled(!Formats.empty());
  CaptionButton(0)->setEnabled(!Formats.empty());
  UpdateSettingsSummary();
  UpdateHotKeySummary();
  RecordState = 0;
  CollapseAllSections();
  lblTime->setText("0:00:00");
  ShowCaptionButtons(false);
}

void TMainForm::ReportError(const QString& AMessage, const QString& ACode) {
  FErrorReport.ReportError(AMessage, ACode);
}

QWidget* TMainForm::SectionPanel(TSection ASection) const { return FSections[ASection].Panel; }

bool TMainForm::SectionExpanded(TSection ASection) const {
  return FSections[ASection].Panel->height() > kHeaderHeight;
}

void TMainForm::ExpandSection(TSection ASection) {
  if (SectionExpanded(ASection)) return;
  const TSectionParts& s = FSections[ASection];
  s.Panel->setFixedHeight(kHeaderHeight + kSectionAmount[ASection]);
  s.Expand->hide();
  s.Collapse->show();
  SetClientHeight(ClientHeight() + kSectionAmount[ASection]);
  RelayoutPanels();
}

void TMainForm::CollapseSection(TSection ASection) {
  if (!SectionExpanded(ASection)) return;
  const TSectionParts& s = FSections[ASection];
  s.Panel->setFixedHeight(kHeaderHeight);
  s.Collapse->hide();
  s.Expand->show();
  SetClientHeight(ClientHeight() - kSectionAmount[ASection]);
  RelayoutPanels();
}

void TMainForm::CollapseAllSections() {
  for (int s = 0; s < kSectionCount; ++s) CollapseSection(static_cast<TSection>(s));
  SetClientHeight(CollapsedHeight);
  RelayoutPanels();
}

void TMainForm::RelayoutPanels() {
  int y = 0;
  for (QWidget* panel : {spSkinPanel1, static_cast<QWidget*>(spSkinPanel2), static_cast<QWidget*>(spSkinPanel3),
                         static_cast<QWidget*>(spSkinPanel4), static_cast<QWidget*>(spSkinPanel5)}) {
    panel->setGeometry(0, y, kClientWidth, panel->height());
    y += panel->height();
  }
}

void TMainForm::ShowCaptionButtons(bool AShow) {
  for (int i = 0; i < kCaptionButtonCount; ++i) CaptionButton(i)->setVisible(AShow);
}

void TMainForm::spDynamicSkinForm1ChangeRollUpState() {
  if (RollUpState()) {
    ShowCaptionButtons(true);
  } else {
    ShowCaptionButtons(false);
    CollapseAllSections();
    SetStoredClientHeight(CollapsedHeight);
  }
}

void TMainForm::SelectCaptureArea(int AKind) {
  QRect region;
  switch (AKind) {
    case 0: {
      const QSize screen = platform::desktop::ScreenSize();
      CaptureArea.Left = 0;
      CaptureArea.Top = 0;
      CaptureArea.Width = screen.width();
      CaptureArea.Height = screen.height();
      lbl1->SetText("full screen " + QString::number(screen.width()) + "x" + QString::number(screen.height()));
      break;
    }
    case 1:
      if (SelectWithEscape([&] { return FAreaChooser->SelectRegion(region); })) {
        CaptureArea.Left = region.left();
        CaptureArea.Top = region.top();
        CaptureArea.Width = region.width();
        CaptureArea.Height = region.height();
        lbl1->SetText("region " + QString::number(region.width()) + "x" + QString::number(region.height()) +
                      " starting at point " + QString::number(region.left()) + "; " +
                      QString::number(region.top()));
      }
      break;
    case 2: {
      unsigned long handle = 0;
      if (SelectWithEscape([&] { return FAreaChooser->SelectWindow(region, handle); })) {
        CaptureArea.Left = region.left();
        CaptureArea.Top = region.top();
        CaptureArea.Width = region.width();
        CaptureArea.Height = region.height();
        CaptureArea.Handle = handle;
        lbl1->SetText("window " + QString::number(region.width()) + "x" + QString::number(region.height()) +
                      " starting at point " + QString::number(region.left()) + "; " +
                      QString::number(region.top()));
      }
      break;
    }
    default:
      break;
  }
}

void TMainForm::UpdateSettingsSummary() {
  QString summary;
  if (spSkinCheckRadioBox2->isChecked()) summary += "draw frame, ";
  if (spSkinCheckRadioBox3->isChecked()) summary += "capture cursor, ";
  if (spSkinCheckRadioBox5->isChecked()) summary += "minimize, ";
  if (spSkinCheckRadioBox4->isChecked()) summary += "disable screensaver";
  if (summary.isEmpty()) {
    summary = "No settings enabled";
  } else if (summary.size() >= 2 && summary[summary.size() - 2] == ',') {
    summary.chop(2);
  }
  lbl3->SetText(summary);
}

QString TMainForm::HotKeyText(const QKeySequenceEdit* AField) {
  const QKeySequence sequence = AField->keySequence();
  if (sequence.isEmpty()) return {};
  return QKeySequence(sequence[0]).toString(QKeySequence::NativeText);
}

void TMainForm::UpdateHotKeySummary() {
  lbl4->SetText(lblHkRecord->text() + " " + HotKeyText(hkRecord) + ", " + lblHkPause->text() + " " +
                HotKeyText(hkPause) + ", " + lblHkStop->text() + " " + HotKeyText(hkStop));
}

void TMainForm::hkChange(QKeySequenceEdit* AField) {
  // One key per field; a key without a modifier, or with Shift only, gets
  // Ctrl+Alt, as global keys need them.
  const QKeySequence sequence = AField->keySequence();
  if (!sequence.isEmpty()) {
    QKeyCombination key = sequence[0];
    if ((key.keyboardModifiers() & ~Qt::ShiftModifier) == Qt::NoModifier) {
      key = QKeyCombination(Qt::ControlModifier | Qt::AltModifier, key.key());
    }
    if (sequence.count() != 1 || key != sequence[0]) AField->setKeySequence(QKeySequence(key));
  }
  RegisterHotKeys();
  UpdateHotKeySummary();
}

void TMainForm::OpenHelpPage() { platform::desktop::ShellOpen(platform::desktop::AppDir() + "info.htm"); }

void TMainForm::btChooseClick() { OpenHelpPage(); }

void TMainForm::chRecordAudioClick() {
  if (chRecordAudio->isChecked() && ShowAudioHelp) {
    ShowAudioHelp = false;
    OpenHelpPage();
  }
}

void TMainForm::spSkinCheckRadioBox5Click() {
  UpdateSettingsSummary();
  if (spSkinCheckRadioBox5->isChecked()) {
    platform::desktop::ShowMessage(this, Caption(),
                                   "Please note: the controls will be hidden, so you will have\nto press " +
                                       HotKeyText(hkStop) + " to stop recording.");
  }
}

void TMainForm::seesrg1Click() { platform::desktop::ShellOpen(kGuideUrl); }
void TMainForm::Support1Click() { platform::desktop::ShellOpen(kSupportUrl); }
void TMainForm::ProductPage1Click() { platform::desktop::ShellOpen(kProductUrl); }

void TMainForm::About1Click() {
  if (FAboutForm != nullptr) FAboutForm->exec();
}

}  // namespace app
