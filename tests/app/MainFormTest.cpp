// The main window under Qt's offscreen platform: creation and showing,
// profile lists, sections and roll-up, summaries, capture area, help page.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "AppTestSupport.h"
#include "app/skin/SkinForm.h"

using app::TMainForm;
using apptest::TMainWindowRig;

namespace {

QString WriteProfiles(const QTemporaryDir& ADir, const QStringList& ARows) {
  const QString name = ADir.filePath("Formats.dat");
  QFile file(name);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<?xml?>\n<DATAPACKET>\n<ROWDATA>\n");
  for (const QString& row : ARows) file.write(row.toUtf8() + "\n");
  file.write("</ROWDATA>\n");
  return name;
}

const QString kTwoProfiles[] = {
    R"(<ROW name="Test MKV" format_ext=".mkv" video_codec_name="LIBX264" width="640" height="480" )"
    R"(keep_ori_resolution="1" frame_rate="5" video_bitrate="900" audio_codec_name="aac" sample_rate="44100" )"
    R"(channel="2" audio_bitrate="b" video_codecs="mpeg4$MPEG-4,libx264$H.264" resolutions="640*480" )"
    R"(frame_rates="5$5 fps" video_bitrates="500$500 kbps,900$900 kbps" audio_codecs="aac$AAC" )"
    R"(sample_rates="22050$22050 Hz,44100$44100 Hz" channels="1$Mono,2$Stereo" audio_bitrates="a$b$c"/>)",
    R"(<ROW name="Test AVI" format_ext=".avi" video_codec_name="mpeg4" width="" height="" )"
    R"(keep_ori_resolution="0" frame_rate="5" video_bitrate="1" audio_codec_name="none" sample_rate="22050" )"
    R"(channel="1" audio_bitrate="64" video_codecs="mpeg4$MPEG-4" resolutions="320*240" frame_rates="5$5 fps" )"
    R"(video_bitrates="1$1 kbps" audio_codecs="libmp3lame$MP3" sample_rates="22050$22050 Hz" )"
    R"(channels="1$Mono" audio_bitrates="64$64 kbps"/>)"};

QStringList Items(const QComboBox* ACombo) {
  QStringList items;
  for (int i = 0; i < ACombo->count(); ++i) items << ACombo->itemText(i);
  return items;
}

struct TChooser : app::TAreaChooser {
  bool Answer = true;
  QRect Region;
  unsigned long Handle = 0;
  bool SelectRegion(QRect& ARegion) override {
    if (Answer) ARegion = Region;
    return Answer;
  }
  bool SelectWindow(QRect& ARegion, unsigned long& AHandle) override {
    if (Answer) {
      ARegion = Region;
      AHandle = Handle;
    }
    return Answer;
  }
};

}  // namespace

TEST(MainForm, CreatesAndShowsWithItsDefaults) {
  TMainWindowRig rig;
  TMainForm& f = *rig.Form;
  f.show();
  EXPECT_TRUE(rig.Reported.isEmpty());
  EXPECT_EQ(f.Caption(), "Quorvane Screen Recorder");
  EXPECT_EQ(f.lbl1->text(), "full screen 1280x1024");
  EXPECT_EQ(f.CaptureArea.Width, 1280);
  EXPECT_EQ(f.CollapsedHeight, 56 + 108);
  EXPECT_EQ(f.ClientHeight(), 164);
  EXPECT_EQ(f.Client()->width(), 451);
  EXPECT_EQ(f.lblTime->text(), "0:00:00");
  EXPECT_EQ(f.lblStatus->text(), "Ready");
  EXPECT_TRUE(f.btRecord->isEnabled());
  EXPECT_FALSE(f.btPause->isEnabled());
  EXPECT_FALSE(f.CaptionButton(0)->isVisibleTo(&f));
  EXPECT_EQ(f.edFileName->text(), "ScreenCapture");
  EXPECT_EQ(f.cmbProfile->currentIndex(), 0);
  EXPECT_EQ(f.cmbProfile->count(), static_cast<int>(f.Formats.size()));
  EXPECT_TRUE(f.lbl2->text().startsWith("ScreenCapture.mkv 1280*1024; sample rate 44100 Hz; bitrate "));
  const QString destination = qEnvironmentVariable("XDG_DATA_HOME") + "/Quorvane/ScreenRecorder";
  EXPECT_EQ(f.edDestination->Text(), destination);
  EXPECT_TRUE(QDir(destination).exists());
  QStringList menu;
  for (const QAction* a : f.SystemMenu()->actions()) menu << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(menu, QStringList({"Online Guide", "-", "Support", "Product Page", "-", "About"}));
}

TEST(MainForm, FillsTheListsFromTheSelectedProfile) {
  QTemporaryDir dir;
  TMainWindowRig rig(WriteProfiles(dir, {kTwoProfiles[0], kTwoProfiles[1]}));
  TMainForm& f = *rig.Form;
  f.show();
  EXPECT_EQ(Items(f.cmbProfile), QStringList({"Test MKV", "Test AVI"}));
  // Encoder labels shown, the capitalised default matches the value.
  EXPECT_EQ(Items(f.cmbVideoEncoder), QStringList({"MPEG-4", "H.264"}));
  EXPECT_EQ(f.cmbVideoEncoder->currentIndex(), 1);
  EXPECT_EQ(app::ListValue(f.Formats[0].VideoCodecs, f.cmbVideoEncoder->currentIndex()), QString("libx264"));
  // The screen's size joins the resolutions and is the text, not a selection.
  EXPECT_EQ(Items(f.cmbVideoResolution), QStringList({"640*480", "1280*1024"}));
  EXPECT_EQ(f.cmbVideoResolution->currentIndex(), -1);
  EXPECT_EQ(f.cmbVideoResolution->currentText(), "1280*1024");
  EXPECT_EQ(f.cmbSampleRate->currentText(), "44100 Hz");
  EXPECT_EQ(f.cmbChannel->currentIndex(), 1);
  // A default found among the values but without a label is no entry.
  EXPECT_EQ(Items(f.cmbAudioBitrate), QStringList({"c"}));
  EXPECT_EQ(f.cmbAudioBitrate->currentIndex(), -1);
  EXPECT_EQ(f.lbl2->text(), "ScreenCapture.mkv 1280*1024; sample rate 44100 Hz; bitrate 900 kbps");

  f.cmbProfile->setCurrentIndex(1);
  EXPECT_EQ(Items(f.cmbVideoResolution), QStringList({"320*240"}));
  EXPECT_EQ(f.cmbVideoResolution->currentText(), "");  // empty width and height
  EXPECT_EQ(f.cmbAudioEncoder->currentIndex(), -1);    // default not offered
  EXPECT_EQ(f.lbl2->text(), "ScreenCapture.avi ; sample rate 22050 Hz; bitrate 1 kbps");
  f.edFileName->setText("Demo");
  EXPECT_EQ(f.lbl2->text(), "Demo.avi ; sample rate 22050 Hz; bitrate 1 kbps");
  f.cmbVideoResolution->setEditText("800*600");
  EXPECT_EQ(f.lbl2->text(), "Demo.avi 800*600; sample rate 22050 Hz; bitrate 1 kbps");
}

TEST(MainForm, ProfileFailuresAreReportedOnceAndLeaveNothingToRecord) {
  QTemporaryDir dir;
  {
    TMainWindowRig rig(dir.filePath("missing.dat"));
    rig.Form->show();
    EXPECT_EQ(rig.Reported, QStringList({"Error loading formats"}));
    EXPECT_TRUE(rig.Report.LogHistory().last().contains("missing.dat"));
    EXPECT_EQ(rig.Form->cmbProfile->count(), 0);
    EXPECT_EQ(rig.Form->cmbVideoEncoder->count(), 0);
    EXPECT_FALSE(rig.Form->btRecord->isEnabled());
  }
  {
    TMainWindowRig rig(WriteProfiles(dir, {}));
    rig.Form->show();
    EXPECT_TRUE(rig.Reported.isEmpty());
    EXPECT_EQ(rig.Form->cmbProfile->count(), 0);
    EXPECT_EQ(rig.Form->cmbVideoResolution->count(), 0);
    EXPECT_FALSE(rig.Form->btRecord->isEnabled());
  }
}

TEST(MainForm, SectionsExpandCollapseAndRollUp) {
  TMainWindowRig rig;
  TMainForm& f = *rig.Form;
  f.show();
  f.btRecordTo1->Click();
  f.btHotkeys1->Click();
  EXPECT_EQ(f.ClientHeight(), 164 + 155 + 60);
  EXPECT_EQ(f.spSkinPanel3->height(), 27 + 155);
  EXPECT_EQ(f.spSkinPanel5->height(), 27 + 60);
  EXPECT_EQ(f.spSkinPanel5->y(), 56 + 27 + 182 + 27);
  EXPECT_TRUE(f.btRecordTo2->isVisibleTo(&f));
  EXPECT_FALSE(f.btRecordTo1->isVisibleTo(&f));
  EXPECT_EQ(f.height(), app::skin::TSkinForm::kCaptionHeight + 2 + 379);
  f.btRecordTo2->Click();
  f.btHotkeys2->Click();
  EXPECT_EQ(f.ClientHeight(), 164);
  EXPECT_EQ(f.spSkinPanel3->height(), 27);

  f.btRecordFrom1->Click();
  f.btRecordSettings1->Click();
  EXPECT_EQ(f.ClientHeight(), 164 + 60 + 103);
  f.SetRollUpState(true);
  EXPECT_TRUE(f.RollUpState());
  EXPECT_EQ(f.height(), app::skin::TSkinForm::kCaptionHeight + 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(f.CaptionButton(i)->isVisibleTo(&f));
  EXPECT_FALSE(f.CaptionButton(1)->isEnabled());
  f.SetRollUpState(false);
  EXPECT_EQ(f.ClientHeight(), 164);
  EXPECT_EQ(f.StoredClientHeight(), 164);
  for (int s = 0; s < TMainForm::kSectionCount; ++s) {
    EXPECT_EQ(f.SectionPanel(static_cast<TMainForm::TSection>(s))->height(), 27);
  }
  EXPECT_FALSE(f.btSettings2->isVisibleTo(&f));
  EXPECT_FALSE(f.CaptionButton(0)->isVisibleTo(&f));
}

TEST(MainForm, SettingsAndHotKeySummaries) {
  TMainWindowRig rig;
  TMainForm& f = *rig.Form;
  f.show();
  EXPECT_EQ(f.lbl3->text(), "draw frame, capture cursor");
  f.spSkinCheckRadioBox2->setChecked(false);
  f.spSkinCheckRadioBox3->setChecked(false);
  EXPECT_EQ(f.lbl3->text(), "No settings enabled");
  f.spSkinCheckRadioBox4->setChecked(true);
  EXPECT_EQ(f.lbl3->text(), "disable screensaver");
  f.spSkinCheckRadioBox4->setChecked(false);
  f.spSkinCheckRadioBox5->setChecked(true);
  EXPECT_EQ(f.lbl3->text(), "minimize");
  ASSERT_EQ(rig.Desktop.Messages.size(), 1);
  EXPECT_TRUE(rig.Desktop.Messages[0].endsWith("\nto press Ctrl+Alt+S to stop recording."));
  EXPECT_TRUE(rig.Desktop.Messages[0].startsWith("Please note: the controls will be hidden, so you will have"));
  f.spSkinCheckRadioBox5->setChecked(false);
  EXPECT_EQ(rig.Desktop.Messages.size(), 1);

  EXPECT_EQ(f.lbl4->text(), "Record: Ctrl+Alt+R, Pause: Ctrl+Alt+P, Stop recording: Ctrl+Alt+S");
  // A key typed without a modifier (or with Shift only) gets Ctrl+Alt.
  f.hkStop->setKeySequence(QKeySequence(Qt::SHIFT | Qt::Key_F9));
  emit f.hkStop->editingFinished();
  EXPECT_EQ(TMainForm::HotKeyText(f.hkStop), "Ctrl+Alt+F9");
  EXPECT_EQ(f.lbl4->text(), "Record: Ctrl+Alt+R, Pause: Ctrl+Alt+P, Stop recording: Ctrl+Alt+F9");
}

TEST(MainForm, HelpPageOpensOnTheFirstCheckOnly) {
  TMainWindowRig rig;
  TMainForm& f = *rig.Form;
  f.show();
  const QString page = platform::desktop::AppDir() + "info.htm";
  f.chRecordAudio->setChecked(true);
  EXPECT_EQ(rig.Desktop.Opened, QStringList({page}));
  EXPECT_TRUE(QFile::exists(page));
  f.chRecordAudio->setChecked(false);
  f.chRecordAudio->setChecked(true);
  EXPECT_EQ(rig.Desktop.Opened.size(), 1);
  f.btChoose->click();
  EXPECT_EQ(rig.Desktop.Opened, QStringList({page, page}));
  f.SystemMenu()->actions()[0]->trigger();
  EXPECT_TRUE(rig.Desktop.Opened.last().startsWith("https://"));
}

TEST(MainForm, CaptureAreaChoice) {
  TMainWindowRig rig;
  TMainForm& f = *rig.Form;
  f.show();
  // Without the selection windows the choice is a cancelled one.
  f.cbRecordType->setCurrentIndex(1);
  EXPECT_EQ(f.lbl1->text(), "full screen 1280x1024");

  auto chooser = std::make_unique<TChooser>();
  TChooser* c = chooser.get();
  f.SetAreaChooser(std::move(chooser));
  c->Region = QRect(100, 50, 640, 480);
  f.btEdit->click();
  EXPECT_EQ(f.lbl1->text(), "region 640x480 starting at point 100; 50");
  EXPECT_EQ(f.CaptureArea.Left, 100);
  EXPECT_EQ(f.CaptureArea.Height, 480);

  c->Answer = false;
  f.cbRecordType->setCurrentIndex(2);
  EXPECT_EQ(f.lbl1->text(), "region 640x480 starting at point 100; 50");
  EXPECT_EQ(f.CaptureArea.Handle, 0u);
  c->Answer = true;
  c->Region = QRect(10, 20, 300, 200);
  c->Handle = 0x2a00007;
  f.btEdit->click();
  EXPECT_EQ(f.lbl1->text(), "window 300x200 starting at point 10; 20");
  EXPECT_EQ(f.CaptureArea.Handle, 0x2a00007u);
  f.cbRecordType->setCurrentIndex(0);
  EXPECT_EQ(f.lbl1->text(), "full screen 1280x1024");
  EXPECT_EQ(f.CaptureArea.Handle, 0x2a00007u);
}

TEST(MainForm, DefaultFolderFallsBackToHomeAndNeverToTheRoot) {
  const QByteArray savedData = qgetenv("XDG_DATA_HOME");
  const QByteArray savedHome = qgetenv("HOME");
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", "/proc/no-such-folder/data");
  qputenv("HOME", home.path().toLocal8Bit());
  {
    TMainWindowRig rig;
    EXPECT_EQ(rig.Form->edDestination->Text(), home.path() + "/Quorvane/ScreenRecorder");
    EXPECT_TRUE(QDir(home.path() + "/Quorvane/ScreenRecorder").exists());
  }
  const bool rootHad = QDir("/Quorvane").exists();
  qputenv("HOME", "/");
  {
    TMainWindowRig rig;
    EXPECT_EQ(rig.Form->edDestination->Text(), "");
  }
  EXPECT_EQ(QDir("/Quorvane").exists(), rootHad);
  qputenv("XDG_DATA_HOME", savedData);
  qputenv("HOME", savedHome);
}

TEST(Skin, ImageButtonClicksOnReleaseOverIt) {
  app::skin::TImageButton button;
  button.resize(20, 20);
  button.show();
  QSignalSpy clicks(&button, &app::skin::TImageButton::clicked);
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 0);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 1);
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(40, 5));
  EXPECT_EQ(clicks.count(), 1);
}

TEST(Skin, DraggingSnapsToTheScreenEdges) {
  using app::skin::SnapToEdges;
  const QRect screen(0, 0, 1280, 1024);
  const QSize window(453, 190);
  EXPECT_EQ(SnapToEdges(QPoint(8, 300), window, screen), QPoint(0, 300));
  EXPECT_EQ(SnapToEdges(QPoint(11, 300), window, screen), QPoint(11, 300));
  EXPECT_EQ(SnapToEdges(QPoint(1280 - 453 - 9, 1024 - 190 + 4), window, screen), QPoint(1280 - 453, 1024 - 190));
  EXPECT_EQ(SnapToEdges(QPoint(-7, -3), window, screen), QPoint(0, 0));
}

TEST(Skin, CaptionBarMenuAndRollUp) {
  app::skin::TSkinForm form(451);
  form.SetCaption("Frame");
  form.SetClientHeight(100);
  form.SystemMenu()->addAction("About");
  form.show();
  QWidget* bar = nullptr;
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (label->text() == "Frame") bar = label->parentWidget();
  }
  ASSERT_NE(bar, nullptr);
  QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(200, 10));
  EXPECT_TRUE(form.SystemMenu()->isVisible());
  form.SystemMenu()->hide();

  int changes = 0;
  form.OnChangeRollUpState = [&] { ++changes; };
  QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(200, 10));
  EXPECT_TRUE(form.RollUpState());
  EXPECT_EQ(form.height(), app::skin::TSkinForm::kCaptionHeight + 2);
  form.SetClientHeight(150);  // while rolled up only the stored height changes
  EXPECT_EQ(form.height(), app::skin::TSkinForm::kCaptionHeight + 2);
  form.SetRollUpState(false);
  EXPECT_EQ(form.ClientHeight(), 150);
  EXPECT_EQ(changes, 2);
}
