// The recording controller against a fake encoder: option strings of the
// three kinds of area and of audio, the output record, the failure rows, the
// control states through start, pause, resume and end, the end notifications,
// closing during a recording and Play.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "AppTestSupport.h"
#include "RecordFakeEncoder.h"
#include "app/ScreenSaver.h"
#include "capture/WavePauseFlags.h"

using apptest::TFakeEncoder;

namespace {

const char* const kProfiles[] = {
    R"(<ROW name="AVI DIVX" format_ext=".avi" video_codec_name="libx264" width="640" height="480" )"
    R"(keep_ori_resolution="0" frame_rate="5" video_bitrate="900" audio_codec_name="aac" sample_rate="44100" )"
    R"(channel="2" audio_bitrate="64" video_codecs="mpeg4$MPEG-4,LIBX264$H.264" resolutions="640*480" )"
    R"(frame_rates="5$5 fps" video_bitrates="500$500 kbps,900$900 kbps" audio_codecs="AAC$AAC" )"
    R"(sample_rates="44100$44100 Hz" channels="1$Mono,2$Stereo" audio_bitrates="64$64 kbps"/>)",
    // The default video encoder is not in the profile's own list.
    R"(<ROW name="Broken" format_ext=".mkv" video_codec_name="h263" width="640" height="480" )"
    R"(keep_ori_resolution="0" frame_rate="5" video_bitrate="900" audio_codec_name="aac" sample_rate="44100" )"
    R"(channel="2" audio_bitrate="64" video_codecs="mpeg4$MPEG-4" resolutions="640*480" )"
    R"(frame_rates="5$5 fps" video_bitrates="900$900 kbps" audio_codecs="aac$AAC" )"
    R"(sample_rates="44100$44100 Hz" channels="1$Mono,2$Stereo" audio_bitrates="64$64 kbps"/>)"};

// The main window with its reports recorded by code.
class TRecordForm : public app::TMainForm {
 public:
  using TMainForm::TMainForm;
  QStringList Codes;
  QStringList Messages;
  void ReportError(const QString& AMessage, const QString& ACode) override {
    Codes << ACode;
    Messages << AMessage;
  }
};

struct TRecordRig : ::testing::Test {
  apptest::TDesktopDouble Desktop;
  QTemporaryDir Dir;
  app::TErrorForm ErrorForm;
  app::TErrorReport Report{ErrorForm};
  std::unique_ptr<TRecordForm> Form;
  TFakeEncoder* Fake = nullptr;
  std::vector<bool> ScreenSaver;  // Suspend calls

  void SetUp() override {
    QFile file(Dir.filePath("Formats.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml?>\n<DATAPACKET>\n<ROWDATA>\n");
    for (const char* row : kProfiles) file.write(QByteArray(row) + "\n");
    file.write("</ROWDATA>\n");
    file.close();
    app::screensaver::SetHandler([this](bool ASuspend) {
      ScreenSaver.push_back(ASuspend);
      return true;
    });
    Form = std::make_unique<TRecordForm>(Report, nullptr, Dir.filePath("Formats.dat"));
    auto fake = std::make_unique<TFakeEncoder>();
    Fake = fake.get();
    Form->SetEncoder(std::move(fake));
    Form->show();
    Form->edDestination->SetText(Dir.path());
    Form->edFileName->setText("capture");
    Form->ShowAudioHelp = false;
    Form->spSkinCheckRadioBox2->setChecked(true);
    Form->spSkinCheckRadioBox3->setChecked(true);
  }
  void TearDown() override {
    Form.reset();
    app::screensaver::SetHandler(nullptr);
  }
  std::string ScreenOptions() const { return Fake->Inputs.at(0).first; }
  // Delivers the task's and the run's end notifications as the encoder does.
  void EndRun(bool AException = false) {
    Fake->SendEnds({{0, true, AException, AException ? "disk full" : ""}, {-1, true, false, ""}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->RecordState == 0; }, 2000)) << "the window did not go idle";
  }
  void ExpectIdleAfterFailure() {
    EXPECT_EQ(Form->RecordState, 0);
    EXPECT_EQ(Fake->OpenTasks, 0) << Fake->Calls.join(", ").toStdString();
    EXPECT_FALSE(Fake->Calls.contains("Start 1"));
    EXPECT_TRUE(Form->btRecord->isEnabled());
    EXPECT_FALSE(Form->btStop->isEnabled());
    EXPECT_FALSE(Form->RollUpState());
    EXPECT_EQ(Form->Caption(), "Quorvane Screen Recorder");
    EXPECT_FALSE(Form->Timer->isActive());
  }
};

TEST_F(TRecordRig, ScreenOptionStringsForTheThreeKindsOfArea) {
  Form->btRecordClick();
  EXPECT_EQ(ScreenOptions(), "offset=0,0;framesize=1280,1024;framerate=5/1;showframe=1;cursor=1");
  EXPECT_EQ(Fake->Inputs.at(0).second.ForceFormat, "screencapture");
  EXPECT_EQ(Fake->Inputs.size(), 1u);  // no audio input
  EndRun();

  Form->cbRecordType->setCurrentIndex(1);  // the chooser is cancelled: the area is set below
  Form->CaptureArea = {100, 50, 640, 480, 0};
  Form->btRecordClick();
  EXPECT_EQ(ScreenOptions(), "offset=100,50;framesize=640,480;framerate=5/1;showframe=1;cursor=1");
  EndRun();

  Form->cbRecordType->setCurrentIndex(2);
  Form->CaptureArea = {10, 20, 800, 600, 197324};
  Form->spSkinCheckRadioBox2->setChecked(false);
  Form->btRecordClick();
  EXPECT_EQ(ScreenOptions(), "hwnd=197324;offset=0,0;framesize=800,600;framerate=5/1;showframe=0;cursor=1");
  EndRun();
  // Libraries are loaded and devices registered at the first Record only.
  EXPECT_EQ(Fake->Calls.filter("LoadAVLib").size(), 1);
  EXPECT_EQ(Fake->Calls.filter("RegisterDevices").size(), 1);
}

TEST_F(TRecordRig, AudioOptionStringCarriesTheRegisteredPauseFlag) {
  Form->chRecordAudio->setChecked(true);
  Form->FWavePauseFlag = 7;
  Form->btRecordClick();
  ASSERT_EQ(Fake->Inputs.size(), 2u);
  EXPECT_EQ(Fake->Inputs[1].second.ForceFormat, "wavecapture");
  const std::string prefix = "r=44100;c=2;f=16;pause_pointer=";
  const std::string audio = Fake->Inputs[1].first;
  ASSERT_EQ(audio.rfind(prefix, 0), 0u) << audio;
  const uint64_t address = std::stoull(audio.substr(prefix.size()));
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(&Form->FWavePauseFlag));
  EXPECT_EQ(capture::FindWavePauseFlag(static_cast<int64_t>(address)), &Form->FWavePauseFlag);
  EXPECT_EQ(Form->FWavePauseFlag, 0);
}

TEST_F(TRecordRig, OutputRecordFromTheProfileAndTheLists) {
  Form->chRecordAudio->setChecked(true);
  Form->btRecordClick();
  const encoder::TOutputOptions& o = Fake->Output;
  EXPECT_EQ(Fake->OutputFile, (Dir.path() + "/capture.avi").toStdString());
  EXPECT_EQ(o.VideoCodec, "libx264");
  EXPECT_EQ(o.VideoPreset, "libx264-default");
  EXPECT_EQ(o.VideoTag, "DIVX");
  EXPECT_EQ(o.AudioCodec, "aac");
  EXPECT_EQ(o.VideoBitrate, 900000);
  EXPECT_EQ(o.AudioBitrate, 64000);
  EXPECT_EQ(o.AudioChannels, 2);
  EXPECT_EQ(o.AudioSampleRate, 22050);
  EXPECT_FALSE(o.DisableAudio);
  EXPECT_EQ(o.FrameSize, "");
  EXPECT_EQ(o.VideoFilters, "crop=1280:1024:0:0,pad=1366:1024:43:0:black,scale=640:480");
  EndRun();

  Form->chRecordAudio->setChecked(false);
  Form->cmbChannel->setCurrentIndex(0);
  Form->cmbVideoEncoder->setCurrentIndex(0);
  Form->btRecordClick();
  EXPECT_EQ(Fake->Output.VideoCodec, "mpeg4");
  EXPECT_EQ(Fake->Output.VideoPreset, "");
  EXPECT_TRUE(Fake->Output.DisableAudio);
  EXPECT_EQ(Fake->Output.AudioChannels, -1);
  EXPECT_EQ(Fake->Output.AudioSampleRate, -1);
  EXPECT_EQ(Fake->Output.AudioCodec, "aac");  // set whether or not audio is recorded
}

TEST_F(TRecordRig, EveryFailedStartReportsItsCodeAndClosesWhatItOpened) {
  struct TRow {
    const char* name;
    std::function<void(TRecordRig&)> arrange;
    const char* code;  // nullptr: a message box instead of a report
  };
  const TRow rows[] = {
      {"load", [](TRecordRig& r) { r.Fake->LoadSucceeds = false; }, "CLM_LoadAVLib"},
      {"screen", [](TRecordRig& r) { r.Fake->AddTaskResult = -1; }, "CLM_FFAddTask"},
      {"audio",
       [](TRecordRig& r) {
         r.Form->chRecordAudio->setChecked(true);
         r.Fake->AddInputSucceeds = false;
       },
       "CLM_FFAddInputFile"},
      {"empty area", [](TRecordRig& r) { r.Form->CaptureArea.Width = 0; }, "CLM_SetCropFilters"},
      {"output", [](TRecordRig& r) { r.Fake->SetOutputSucceeds = false; }, "CLM_FFSetOutputFile"},
      {"resolution", [](TRecordRig& r) { r.Form->cmbVideoResolution->setEditText("641*480"); }, nullptr},
      {"bit rate", [](TRecordRig& r) { r.Form->cmbVideoBitrate->setCurrentIndex(-1); }, nullptr},
      {"no encoder value", [](TRecordRig& r) { r.Form->cmbProfile->setCurrentIndex(1); }, nullptr},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    Desktop.Messages.clear();
    row.arrange(*this);
    Form->btRecordClick();
    if (row.code != nullptr) {
      EXPECT_EQ(Form->Codes, QStringList{row.code});
      if (QString(row.code) != "CLM_SetCropFilters") {
        EXPECT_EQ(Form->Messages, QStringList{"the fake refused"});
      }
      EXPECT_TRUE(Desktop.Messages.isEmpty());
    } else {
      EXPECT_TRUE(Form->Codes.isEmpty());
      EXPECT_EQ(Desktop.Messages.size(), 1);
    }
    ExpectIdleAfterFailure();
  }
  EXPECT_TRUE(Desktop.Messages.value(0).contains("encoder")) << Desktop.Messages.value(0).toStdString();
}

TEST_F(TRecordRig, RegistrationFailureIsReportedAndTheRecordingStarts) {
  Fake->RegisterThrows = true;
  Form->btRecordClick();
  EXPECT_EQ(Form->Codes, QStringList{"CLM_CaptureRegister"});
  EXPECT_EQ(Form->Messages, QStringList{"Error registering screen and wave capture"});
  EXPECT_EQ(Form->RecordState, 1);
}

TEST_F(TRecordRig, ControlStatesThroughStartPauseResumeAndEnd) {
  Form->move(100, 100);
  Form->btRecordClick();
  EXPECT_EQ(Fake->Calls.last(), "Start 1");
  auto states = [&] {
    return QString("%1%2%3%4 %5%6%7")
        .arg(Form->btRecord->isEnabled())
        .arg(Form->btPause->isEnabled())
        .arg(Form->btStop->isEnabled())
        .arg(Form->btTimer->isEnabled())
        .arg(Form->CaptionButton(0)->isEnabled())
        .arg(Form->CaptionButton(1)->isEnabled())
        .arg(Form->CaptionButton(2)->isEnabled());
  };
  EXPECT_EQ(states(), "0110 011");
  EXPECT_EQ(Form->lblStatus->text(), "Record");
  EXPECT_TRUE(Form->RollUpState());
  EXPECT_EQ(Form->pos(), QPoint(1280 - Form->width(), 1024 - Form->height()));
  EXPECT_TRUE(Form->Timer->isActive());
  EXPECT_TRUE(Form->Timer1->isActive());

  Form->TimerTimer();
  Form->TimerTimer();
  EXPECT_EQ(Form->lblTime->text(), "0:00:02");
  Form->Timer1Timer();
  EXPECT_EQ(Form->Caption(), "");
  Form->Timer1Timer();
  EXPECT_EQ(Form->Caption(), "Recording...");

  Form->btRecordClick();  // recording: nothing
  EXPECT_EQ(Fake->Calls.filter("AddTask").size(), 1);

  Form->btPauseClick();
  EXPECT_EQ(states(), "1110 111");
  EXPECT_EQ(Form->lblStatus->text(), "Paused");
  EXPECT_FALSE(Form->Timer->isActive());
  EXPECT_EQ(Form->FWavePauseFlag, 1);
  EXPECT_EQ(Form->RecordState, 2);
  Form->Timer1Timer();
  EXPECT_EQ(Form->Caption(), "Paused");

  Form->btPauseClick();  // paused: resumes
  EXPECT_EQ(states(), "0110 011");
  EXPECT_EQ(Form->FWavePauseFlag, 0);
  EXPECT_TRUE(Form->Timer->isActive());
  Form->btPauseClick();
  Form->btRecordClick();  // paused: resumes
  EXPECT_EQ(Form->RecordState, 1);
  EXPECT_EQ(Fake->Calls.filter(QRegularExpression("^(Pause|Resume)$")),
            (QStringList{"Pause", "Resume", "Pause", "Resume"}));

  Form->btStopClick();
  EXPECT_EQ(Fake->Calls.last(), "Stop");
  EXPECT_EQ(Form->RecordState, 1);  // until the run's end arrives
  EndRun();
  EXPECT_EQ(states(), "1001 100");
  EXPECT_EQ(Form->lblStatus->text(), "Ready");
  EXPECT_FALSE(Form->RollUpState());
  EXPECT_EQ(Form->pos(), QPoint(100, 100));
  EXPECT_FALSE(Form->Timer1->isActive());
}

TEST_F(TRecordRig, EndNotificationsInOrderOpenTheFileOnceAndUndoTheStart) {
  QFile output(Dir.filePath("capture.avi"));
  ASSERT_TRUE(output.open(QIODevice::WriteOnly));
  output.close();
  Form->spSkinCheckRadioBox4->setChecked(true);  // screen saver off while recording
  Form->btRecordClick();
  Form->TimerTimer();
  // The options change meanwhile: the end undoes what the start did all the same.
  Form->spSkinCheckRadioBox4->setChecked(false);
  Form->spSkinCheckRadioBox5->setChecked(true);
  Desktop.Messages.clear();
  EndRun(true);
  EXPECT_EQ(Form->Codes, QStringList{"CLM_VidaxException"});
  EXPECT_EQ(Form->Messages, QStringList{"Recording terminated with exception: disk full"});
  EXPECT_EQ(Desktop.Opened, QStringList{output.fileName()});
  EXPECT_EQ(Form->lblTime->text(), "0:00:00");
  EXPECT_EQ(Form->Caption(), "Quorvane Screen Recorder");
  EXPECT_FALSE(Form->RollUpState());
  EXPECT_EQ(ScreenSaver, (std::vector<bool>{true, false}));
  // A stray second run end changes nothing and opens nothing.
  Fake->SendEnds({{-1, true, false, ""}});
  QTest::qWait(50);
  EXPECT_EQ(Desktop.Opened.size(), 1);
}

TEST_F(TRecordRig, MinimizedStartIsRestoredAtTheEnd) {
  Form->spSkinCheckRadioBox5->setChecked(true);
  Form->btRecordClick();
  EXPECT_TRUE(Form->isMinimized());
  EXPECT_FALSE(Form->RollUpState());
  EXPECT_EQ(Form->Caption(), "Quorvane Screen Recorder");
  Form->spSkinCheckRadioBox5->setChecked(false);
  EndRun();
  EXPECT_FALSE(Form->isMinimized());
  EXPECT_FALSE(Form->RollUpState());
  EXPECT_TRUE(Desktop.Opened.isEmpty());  // no file was written
}

TEST_F(TRecordRig, ClosingDuringARecordingWaitsAndOpensNothing) {
  QFile output(Dir.filePath("capture.avi"));
  ASSERT_TRUE(output.open(QIODevice::WriteOnly));
  output.close();
  Form->spSkinCheckRadioBox4->setChecked(true);
  Form->btRecordClick();
  Form->close();
  EXPECT_EQ(Fake->Calls.mid(Fake->Calls.size() - 2), (QStringList{"ClearOnProgress", "Stop wait"}));
  EXPECT_EQ(Form->RecordState, 0);
  EXPECT_EQ(ScreenSaver, (std::vector<bool>{true, false}));
  EXPECT_EQ(Fake->Handler, nullptr);
  EXPECT_TRUE(Desktop.Opened.isEmpty());
}

TEST_F(TRecordRig, PlayOpensTheOutputOrSaysThereIsNone) {
  Form->btTimerClick();
  EXPECT_EQ(Desktop.Messages, QStringList{"Can't play: there is no output video yet."});
  QFile output(Dir.filePath("capture.avi"));
  ASSERT_TRUE(output.open(QIODevice::WriteOnly));
  output.close();
  Form->btTimerClick();
  EXPECT_EQ(Desktop.Opened, QStringList{output.fileName()});
}

TEST(RecordClock, ElapsedTextCountsHoursBeyondADay) {
  EXPECT_EQ(app::TMainForm::ElapsedText(0), "0:00:00");
  EXPECT_EQ(app::TMainForm::ElapsedText(3661), "1:01:01");
  EXPECT_EQ(app::TMainForm::ElapsedText(90000), "25:00:00");
}

}  // namespace
