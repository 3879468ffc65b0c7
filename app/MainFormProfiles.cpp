// The main window's format profiles: loading them at creation and filling
// the "Record to:" lists from the selected one.
#include "app/MainForm.h"
#include "platform/Desktop.h"

namespace app {

void TMainForm::LoadFormatsStep(const QString& AProfileFile) {
  try {
    LoadFormats(AProfileFile, Formats, platform::desktop::ScreenSize());
  } catch (const std::exception& e) {
    media::GetFFLogger().Log(nullptr, media::llError, e.what());
    ReportError("Error loading formats", "CLM_LoadFormats");
  }
}

void TMainForm::cmbProfileChange() { FillFormatControls(cmbProfile->currentIndex()); }

void TMainForm::FillList(QComboBox* ACombo, const QString& AAttribute, const QString& ADefault) {
  FFilling = true;
  ACombo->addItems(SplitList(AAttribute, false));
  // An entry found among the values but beyond the labels is no entry.
  const int index = DefaultIndex(AAttribute, ADefault);
  ACombo->setCurrentIndex(index < ACombo->count() ? index : -1);
  FFilling = false;
  UpdateOutputSummary();
}

void TMainForm::FillFormatControls(int AIndex) {
  FFilling = true;
  for (QComboBox* list : {cmbVideoResolution, cmbVideoFrameRate, cmbVideoEncoder, cmbVideoBitrate, cmbSampleRate,
                          cmbChannel, cmbAudioEncoder, cmbAudioBitrate}) {
    list->clear();
  }
  FFilling = false;
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= Formats.size()) {
    UpdateOutputSummary();
    return;
  }
  const TFormat& f = Formats[static_cast<size_t>(AIndex)];

  FFilling = true;
  cmbVideoResolution->addItems(SplitList(f.Resolutions, false));
  cmbVideoResolution->setCurrentIndex(-1);
  const QString resolution = f.Width + "*" + f.Height;
  cmbVideoResolution->setEditText(resolution == "*" ? QString() : resolution);
  FFilling = false;
  UpdateOutputSummary();

  FillList(cmbVideoFrameRate, f.FrameRates, f.FrameRate);
  FillList(cmbVideoEncoder, f.VideoCodecs, f.VideoCodecName);
  FillList(cmbVideoBitrate, f.VideoBitRates, f.VideoBitRate);
  FillList(cmbSampleRate, f.SampleRates, f.SampleRate);
  FillList(cmbChannel, f.Channels, f.Channel);
  FillList(cmbAudioEncoder, f.AudioCodecs, f.AudioCodecName);
  FillList(cmbAudioBitrate, f.AudioBitRates, f.AudioBitRate);
}

void TMainForm::UpdateOutputSummary() {
  const int profile = cmbProfile->currentIndex();
  const QString ext =
      profile >= 0 && static_cast<size_t>(profile) < Formats.size() ? Formats[static_cast<size_t>(profile)].FormatExt
                                                                    : QString();
  lbl2->SetText(edFileName->text() + ext + " " + cmbVideoResolution->currentText() + "; sample rate " +
                cmbSampleRate->currentText() + "; bitrate " + cmbVideoBitrate->currentText());
}

}  // namespace app
