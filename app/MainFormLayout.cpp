// Building the main window's controls: panels, sections and their bodies.
#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/MainForm.h"
#include "app/skin/Pictures.h"

namespace app {

namespace {

constexpr int kRow = 22;       // height of a control row
constexpr int kLabelX = 12;    // left column: label
constexpr int kFieldX = 104;   // left column: field
constexpr int kRightLabelX = 236;
constexpr int kRightFieldX = 330;
constexpr int kRightEnd = 439;

QLabel* AddLabel(const QString& AText, QWidget* AParent, int AX, int AY, int AWidth) {
  auto* label = new QLabel(AText, AParent);
  label->setGeometry(AX, AY, AWidth, kRow);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QComboBox* AddCombo(QWidget* AParent, int AX, int AY, int AWidth, bool AEditable = false) {
  auto* combo = new QComboBox(AParent);
  combo->setEditable(AEditable);
  combo->setGeometry(AX, AY, AWidth, kRow);
  return combo;
}

QPushButton* MakeRecordingButton(skin::TGlyph AGlyph, const QString& AHint, QWidget* AParent) {
  auto* button = new QPushButton(AParent);
  button->setFixedSize(48, 39);
  QIcon icon;
  icon.addPixmap(skin::GlyphPicture(AGlyph, 26, true), QIcon::Normal);
  icon.addPixmap(skin::GlyphPicture(AGlyph, 26, false), QIcon::Disabled);
  button->setIcon(icon);
  button->setIconSize(QSize(26, 26));
  button->setToolTip(AHint);
  return button;
}

}  // namespace

void TMainForm::BuildButtonPanel(QWidget* AParent) {
  spSkinPanel1 = new QWidget(AParent);
  spSkinPanel1->setFixedHeight(kButtonPanelHeight);

  auto* status = new QFrame(spSkinPanel1);
  status->setObjectName("statusPanel");
  status->setStyleSheet(
      "#statusPanel { background: #1f2a3d; border: 1px solid #0f1622; border-radius: 4px; }"
      "#statusPanel QLabel { color: #e6ecf5; }");
  status->setGeometry(8, 8, 215, 39);
  lblStatus = new QLabel("Ready", status);
  lblStatus->setFont(skin::DefaultFont(true));
  lblStatus->setGeometry(10, 0, 110, 39);
  lblTime = new QLabel(status);
  QFont clock = skin::DefaultFont(true);
  clock.setPixelSize(20);
  lblTime->setFont(clock);
  lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblTime->setGeometry(100, 0, 105, 39);

  btRecord = MakeRecordingButton(skin::TGlyph::Record, "Record!", spSkinPanel1);
  btPause = MakeRecordingButton(skin::TGlyph::Pause, "Pause", spSkinPanel1);
  btStop = MakeRecordingButton(skin::TGlyph::Stop, "Stop", spSkinPanel1);
  btTimer = MakeRecordingButton(skin::TGlyph::Play, "Play", spSkinPanel1);
  int x = kClientWidth - 8 - 4 * 48 - 3 * 4;
  for (QPushButton* b : {btRecord, btPause, btStop, btTimer}) {
    b->move(x, 8);
    x += 52;
  }
  btPause->setEnabled(false);
  btStop->setEnabled(false);
  btTimer->setEnabled(false);
}

skin::TSectionPanel* TMainForm::BuildSection(TSection ASection, QWidget* AParent, skin::TImageButton*& AExpand,
                                             skin::TImageButton*& ACollapse, QLabel*& ATitle,
                                             skin::TSummaryLabel*& ASummary) {
  auto* panel = new skin::TSectionPanel(kHeaderHeight, AParent);
  panel->setFixedHeight(kHeaderHeight);
  AExpand = new skin::TImageButton(panel);
  AExpand->setGeometry(9, 5, 17, 17);
  AExpand->SetPictures(skin::SectionButtonPictures(skin::TGlyph::Expand, 17));
  AExpand->setToolTip("Show");
  ACollapse = new skin::TImageButton(panel);
  ACollapse->setGeometry(9, 5, 17, 17);
  ACollapse->SetPictures(skin::SectionButtonPictures(skin::TGlyph::Collapse, 17));
  ACollapse->setToolTip("Hide");
  ACollapse->hide();
  ATitle = new QLabel(panel);
  ATitle->setFont(skin::DefaultFont(true));
  ATitle->setStyleSheet("color: #26344e;");
  ATitle->setGeometry(34, 0, 96, kHeaderHeight);
  ASummary = new skin::TSummaryLabel(panel);
  ASummary->setStyleSheet("color: #5a6478;");
  ASummary->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ASummary->setGeometry(132, 0, kClientWidth - 132 - 10, kHeaderHeight);
  FSections[ASection] = {panel, AExpand, ACollapse};
  return panel;
}

void TMainForm::BuildRecordFrom() {
  QWidget* p = spSkinPanel2;
  const int y0 = kHeaderHeight + 5;
  const int y1 = y0 + 28;
  AddLabel("Video:", p, kLabelX, y0, 80);
  cbRecordType = AddCombo(p, kFieldX, y0, 240);
  cbRecordType->addItems({"Full Screen", "Selected Area", "Window or Control"});
  cbRecordType->setCurrentIndex(0);
  btEdit = new QPushButton("Edit", p);
  btEdit->setGeometry(kRightEnd - 90, y0, 90, kRow);
  AddLabel("Audio:", p, kLabelX, y1, 80);
  chRecordAudio = new QCheckBox("Record audio (Stereo Mix)", p);
  chRecordAudio->setGeometry(kFieldX, y1, 240, kRow);
  btChoose = new QPushButton("How", p);
  btChoose->setGeometry(kRightEnd - 90, y1, 90, kRow);
}

void TMainForm::BuildRecordTo() {
  QWidget* p = spSkinPanel3;
  int y = kHeaderHeight + 5;
  const int step = 25;
  const int leftField = kRightLabelX - 8 - kFieldX;
  const int rightField = kRightEnd - kRightFieldX;
  AddLabel("Directory:", p, kLabelX, y, 80);
  edDestination = new skin::TDirectoryEdit(p);
  edDestination->setGeometry(kFieldX, y, kRightEnd - kFieldX, kRow);
  y += step;
  AddLabel("File name:", p, kLabelX, y, 80);
  edFileName = new QLineEdit("ScreenCapture", p);
  edFileName->setGeometry(kFieldX, y, leftField, kRow);
  AddLabel("Resolution:", p, kRightLabelX, y, 90);
  cmbVideoResolution = AddCombo(p, kRightFieldX, y, rightField, true);
  y += step;
  AddLabel("Format profile:", p, kLabelX, y, 84);
  cmbProfile = AddCombo(p, kFieldX, y, kRightEnd - kFieldX);
  y += step;
  AddLabel("Video Encoder:", p, kLabelX, y, 84);
  cmbVideoEncoder = AddCombo(p, kFieldX, y, leftField);
  AddLabel("Video Bitrate:", p, kRightLabelX, y, 90);
  cmbVideoBitrate = AddCombo(p, kRightFieldX, y, rightField);
  y += step;
  AddLabel("Audio Encoder:", p, kLabelX, y, 84);
  cmbAudioEncoder = AddCombo(p, kFieldX, y, leftField);
  AddLabel("Audio Bitrate:", p, kRightLabelX, y, 90);
  cmbAudioBitrate = AddCombo(p, kRightFieldX, y, rightField);
  y += step;
  AddLabel("Channels:", p, kLabelX, y, 84);
  cmbChannel = AddCombo(p, kFieldX, y, leftField);

  // Filled like the others, never shown.
  cmbVideoFrameRate = new QComboBox(p);
  cmbVideoFrameRate->setToolTip("Warning! High frame rate may result in slow recording!");
  cmbVideoFrameRate->hide();
  cmbSampleRate = new QComboBox(p);
  cmbSampleRate->hide();
}

void TMainForm::BuildSettings() {
  QWidget* p = spSkinPanel4;
  spSkinCheckRadioBox2 = new QCheckBox("Draw a frame around the  recorded area", p);
  spSkinCheckRadioBox3 = new QCheckBox("Capture mouse cursor", p);
  spSkinCheckRadioBox5 = new QCheckBox("Minimize (hide)  window before start recording", p);
  spSkinCheckRadioBox4 = new QCheckBox("Disable the screensaver during recording", p);
  int y = kHeaderHeight + 5;
  for (QCheckBox* box : {spSkinCheckRadioBox2, spSkinCheckRadioBox3, spSkinCheckRadioBox5, spSkinCheckRadioBox4}) {
    box->setGeometry(kLabelX, y, kRightEnd - kLabelX, kRow);
    y += 24;
  }
  spSkinCheckRadioBox2->setChecked(true);
  spSkinCheckRadioBox3->setChecked(true);
}

void TMainForm::BuildHotKeys() {
  QWidget* p = spSkinPanel5;
  const int y0 = kHeaderHeight + 5;
  const int y1 = y0 + 28;
  const int leftField = kRightLabelX - 8 - kFieldX;
  const int rightField = kRightEnd - kRightFieldX;
  auto makeField = [p](int x, int y, int w, const QKeySequence& key) {
    auto* field = new QKeySequenceEdit(key, p);
    field->setGeometry(x, y, w, kRow);
    return field;
  };
  lblHkRecord = AddLabel("Record:", p, kLabelX, y0, 84);
  hkRecord = makeField(kFieldX, y0, leftField, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
  lblHkPause = AddLabel("Pause:", p, kRightLabelX, y0, 90);
  hkPause = makeField(kRightFieldX, y0, rightField, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P));
  lblHkStop = AddLabel("Stop recording:", p, kLabelX, y1, 84);
  hkStop = makeField(kFieldX, y1, leftField, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  lblHkChooseWindow = AddLabel("Choose window:", p, kRightLabelX, y1, 90);
  hkChooseWindow = makeField(kRightFieldX, y1, rightField, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
}

void TMainForm::BuildSystemMenu() {
  QMenu* menu = SystemMenu();
  connect(menu->addAction("Online Guide"), &QAction::triggered, this, &TMainForm::seesrg1Click);
  menu->addSeparator();
  connect(menu->addAction("Support"), &QAction::triggered, this, &TMainForm::Support1Click);
  connect(menu->addAction("Product Page"), &QAction::triggered, this, &TMainForm::ProductPage1Click);
  menu->addSeparator();
  connect(menu->addAction("About"), &QAction::triggered, this, &TMainForm::About1Click);
}

}  // namespace app
