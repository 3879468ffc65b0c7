// The recording controller's start: from the window's choices to one
// encoder task (screen input, optional audio input, one output file), then
// the window in its recording state and the run started. Also pause, resume,
// stop and Play.
#include <QFileInfo>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

#include "app/MainForm.h"
#include "app/OutputGeometry.h"
#include "app/ScreenSaver.h"
#include "platform/Desktop.h"

namespace app {

namespace {

// The bits per second of a bit-rate label: a number followed by " kbps".
std::optional<int32_t> KbpsLabelToBitrate(QString AText) {
  AText.chop(5);
  bool ok = false;
  const int kbps = AText.trimmed().toInt(&ok, 10);
  if (!ok || kbps <= 0 || kbps > std::numeric_limits<int32_t>::max() / 1000) return std::nullopt;
  return kbps * 1000;
}

std::string Utf8(const QString& AText) { return AText.toUtf8().toStdString(); }

}  // namespace

QString TMainForm::OutputPath() const {
  const int profile = cmbProfile->currentIndex();
  const QString ext = profile >= 0 && static_cast<size_t>(profile) < Formats.size()
                          ? Formats[static_cast<size_t>(profile)].FormatExt
                          : QString();
  return edDestination->Text() + "/" + edFileName->text() + ext;
}

void TMainForm::ShowWarning(const QString& AText) {
  platform::desktop::ShowMessage(this, Caption(), AText, platform::desktop::TMessageKind::Warning);
}

void TMainForm::btRecordClick() {
  if (RecordState == 2) {
    ResumeRecording();
  } else if (RecordState == 0) {
    StartRecording();
  }
}

void TMainForm::btPauseClick() {
  if (RecordState == 1) {
    PauseRecording();
  } else if (RecordState == 2) {
    btRecordClick();
  }
}

void TMainForm::btStopClick() {
  // The window is reset when the run's end notification arrives.
  if (RecordState != 0 && Vidax) Vidax->Stop(false);
}

void TMainForm::AbandonTask(int32_t ATaskIndex) {
  // The screen input (and perhaps the audio input) is open already: close it
  // now rather than at the next Record.
  try {
    Vidax->RemoveTask(ATaskIndex);
  } catch (const std::exception& e) {
    media::GetFFLogger().Log(nullptr, media::llError, e.what());
  }
}

void TMainForm::StartRecording() {
  if (!Vidax) {
    ReportError("The encoder is not available.", "CLM_LoadAVLib");
    return;
  }
  if (!Vidax->AVLibLoaded()) {
    if (!Vidax->LoadAVLib(Utf8(platform::desktop::AppDir() + "LibAV"))) {
      ReportError(QString::fromStdString(Vidax->LastErrMsg()), "CLM_LoadAVLib");
      return;
    }
    try {
      Vidax->RegisterDevices();
    } catch (...) {
      ReportError("Error registering screen and wave capture", "CLM_CaptureRegister");
    }
  }
  const int profile = cmbProfile->currentIndex();
  if (profile < 0 || static_cast<size_t>(profile) >= Formats.size()) {
    ShowWarning("Please choose a format profile.");
    return;
  }
  if (FEncoderDetached) ConnectEncoder();

  int32_t task = -1;
  try {
    Vidax->ClearTasks();
    encoder::TInputOptions input;
    input.Reset();
    input.ForceFormat = "screencapture";
    const QString showframe = spSkinCheckRadioBox2->isChecked() ? "1" : "0";
    const QString cursor = spSkinCheckRadioBox3->isChecked() ? "1" : "0";
    const QString framerate = "5";
    const QString framesize = QString::number(CaptureArea.Width) + "," + QString::number(CaptureArea.Height);
    const QString tail = "framesize=" + framesize + ";framerate=" + framerate + "/1;showframe=" + showframe +
                         ";cursor=" + cursor;
    QString options;
    switch (cbRecordType->currentIndex()) {
      case 1:
        options = "offset=" + QString::number(CaptureArea.Left) + "," + QString::number(CaptureArea.Top) + ";" + tail;
        break;
      case 2:
        options = "hwnd=" + QString::number(CaptureArea.Handle) + ";offset=0,0;" + tail;
        break;
      default:
        options = "offset=0,0;" + tail;
        break;
    }
    task = Vidax->AddTask(Utf8(options), &input);
  } catch (const std::exception& e) {
    ReportError(e.what(), "CLM_FFAddTask");
    return;
  }
  if (task < 0) {
    ReportError(QString::fromStdString(Vidax->LastErrMsg()), "CLM_FFAddTask");
    return;
  }

  const bool audio = chRecordAudio->isChecked();
  if (audio) {
    QString rate = cmbSampleRate->currentText();
    rate.chop(3);
    bool ok = false;
    const int sampleRate = rate.trimmed().toInt(&ok, 10);
    if (!ok || sampleRate <= 0) {
      AbandonTask(task);
      ShowWarning("Please choose a valid sample rate.");
      return;
    }
    encoder::TInputOptions input;
    input.Reset();
    input.ForceFormat = "wavecapture";
    FWavePauseFlag = 0;
    // The full 64-bit address, unsigned: the device compares it with the
    // flags the application registered.
    const auto address = static_cast<quint64>(reinterpret_cast<uintptr_t>(&FWavePauseFlag));
    const QString options = "r=" + QString::number(sampleRate) + ";c=" + QString::number(2) +
                            ";f=16;pause_pointer=" + QString::number(address);
    if (!Vidax->AddInputFile(task, Utf8(options), &input)) {
      const QString message = QString::fromStdString(Vidax->LastErrMsg());
      AbandonTask(task);
      ReportError(message, "CLM_FFAddInputFile");
      return;
    }
  }

  encoder::TOutputOptions output;
  if (!FillOutputOptions(task, audio, output)) return;
  if (!Vidax->SetOutputFile(task, Utf8(OutputPath()), &output)) {
    const QString message = QString::fromStdString(Vidax->LastErrMsg());
    AbandonTask(task);
    ReportError(message, "CLM_FFSetOutputFile");
    return;
  }

  SetRecordingControls();
  RecordState = 1;
  PlaceWindowForRecording();
  FElapsedSeconds = 0;
  lblTime->setText("0:00:00");
  Timer1->start();
  Timer->start();
  if (spSkinCheckRadioBox4->isChecked()) FStartEffects.ScreenSaverSuspended = screensaver::Suspend(true);
  try {
    Vidax->Start(1);
  } catch (const std::exception& e) {
    // Nothing runs, so no end notification will come: end here.
    AbandonTask(task);
    ReportError(e.what(), "CLM_FFAddTask");
    EndRecording(false);
  }
}

bool TMainForm::FillOutputOptions(int32_t ATaskIndex, bool AAudio, encoder::TOutputOptions& AOptions) {
  const TFormat& format = Formats[static_cast<size_t>(cmbProfile->currentIndex())];
  auto refuse = [&](const QString& AText) {
    AbandonTask(ATaskIndex);
    ShowWarning(AText);
    return false;
  };
  AOptions.Reset();
  if (AAudio) {
    if (cmbChannel->currentIndex() < 0) return refuse("Please choose the number of audio channels.");
    AOptions.AudioChannels = cmbChannel->currentIndex() + 1;
    AOptions.AudioSampleRate = 22050;
  }
  const std::optional<QString> videoCodec = ListValue(format.VideoCodecs, cmbVideoEncoder->currentIndex());
  if (!videoCodec || videoCodec->isEmpty()) return refuse("Please choose a video encoder from the list.");
  AOptions.VideoCodec = Utf8(videoCodec->toLower());
  if (cmbProfile->currentText().contains("DIVX")) AOptions.VideoTag = "DIVX";
  if (AOptions.VideoCodec == "libx264") AOptions.VideoPreset = "libx264-default";
  const std::optional<QString> audioCodec = ListValue(format.AudioCodecs, cmbAudioEncoder->currentIndex());
  if (!audioCodec || audioCodec->isEmpty()) return refuse("Please choose an audio encoder from the list.");
  AOptions.AudioCodec = Utf8(audioCodec->toLower());

  const std::optional<QSize> size = CheckResolution(cmbVideoResolution->currentText());
  if (!size) return refuse(kInvalidResolutionText);
  try {
    AOptions.VideoFilters =
        Utf8(VideoFilterChain(CaptureArea.Width, CaptureArea.Height, size->width(), size->height()));
  } catch (const TGeometryError& e) {
    AbandonTask(ATaskIndex);
    ReportError(e.what(), "CLM_SetCropFilters");
    return false;
  }

  const std::optional<int32_t> videoBitrate = KbpsLabelToBitrate(cmbVideoBitrate->currentText());
  if (!videoBitrate) return refuse("Please choose a valid video bit rate.");
  AOptions.VideoBitrate = *videoBitrate;
  const std::optional<int32_t> audioBitrate = KbpsLabelToBitrate(cmbAudioBitrate->currentText());
  if (!audioBitrate) return refuse("Please choose a valid audio bit rate.");
  AOptions.AudioBitrate = *audioBitrate;
  if (!AAudio) AOptions.DisableAudio = true;
  return true;
}

void TMainForm::PauseRecording() {
  btRecord->setEnabled(true);
  CaptionButton(0)->setEnabled(true);
  lblStatus->setText("Paused");
  lblStatus->setStyleSheet({});
  Timer->stop();
  Vidax->Pause();
  RecordState = 2;
  FWavePauseFlag = 1;
}

void TMainForm::ResumeRecording() {
  SetRecordingControls();
  RecordState = 1;
  Timer->start();
  FWavePauseFlag = 0;
  Vidax->Resume();
}

void TMainForm::OpenOutputFile() {
  const QString path = OutputPath();
  if (QFileInfo(path).isFile()) platform::desktop::ShellOpen(QFileInfo(path).absoluteFilePath());
}

void TMainForm::btTimerClick() {
  if (QFileInfo(OutputPath()).isFile()) {
    OpenOutputFile();
  } else {
    platform::desktop::ShowMessage(this, Caption(), "Can't play: there is no output video yet.",
                                   platform::desktop::TMessageKind::Error);
  }
}

}  // namespace app
