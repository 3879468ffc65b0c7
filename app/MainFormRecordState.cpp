// The recording controller's window side: control states, the elapsed clock
// and the caption blink, the window's place during a recording, the end
// notifications of the encoder and closing during a recording.
#include <memory>

#include "app/MainForm.h"
#include "app/ScreenSaver.h"
#include "platform/Desktop.h"
#include "platform/UiHandOver.h"

namespace app {

namespace {
const QString kRedStatus = QStringLiteral("color: #ff0000;");
}  // namespace

void TMainForm::BuildRecordTimers() {
  Timer = new QTimer(this);
  Timer->setInterval(1000);
  connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
  Timer1 = new QTimer(this);
  Timer1->setInterval(400);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  connect(btTimer, &QPushButton::clicked, this, &TMainForm::btTimerClick);
  Vidax = MakeRecordingEncoder();
  ConnectEncoder();
}

void TMainForm::SetEncoder(std::unique_ptr<TRecordingEncoder> AEncoder) {
  if (Vidax) Vidax->SetOnTerminate(nullptr);
  Vidax = std::move(AEncoder);
  ConnectEncoder();
}

void TMainForm::ConnectEncoder() {
  FEncoderDetached = false;
  if (!Vidax) return;
  // The encoder ends on threads of its own; every notification is handed to
  // the UI thread, in the order it was sent, and dropped if the window is gone.
  std::weak_ptr<int> alive = FAlive;
  Vidax->SetOnTerminate([this, alive](const TRecordEnd& AInfo) {
    platform::ui::PostToUiThread([this, alive, AInfo] {
      if (alive.lock()) VidaxTerminate(AInfo);
    });
  });
}

void TMainForm::SetRecordingControls() {
  btRecord->setEnabled(false);
  btPause->setEnabled(true);
  btStop->setEnabled(true);
  btTimer->setEnabled(false);
  CaptionButton(0)->setEnabled(false);
  CaptionButton(1)->setEnabled(true);
  CaptionButton(2)->setEnabled(true);
  lblStatus->setText("Record");
  lblStatus->setStyleSheet(kRedStatus);
}

void TMainForm::SetIdleControls() {
  btRecord->setEnabled(true);
  btPause->setEnabled(false);
  btStop->setEnabled(false);
  btTimer->setEnabled(true);
  CaptionButton(0)->setEnabled(true);
  CaptionButton(1)->setEnabled(false);
  CaptionButton(2)->setEnabled(false);
  lblStatus->setText("Ready");
  lblStatus->setStyleSheet({});
}

void TMainForm::PlaceWindowForRecording() {
  FStartEffects = TStartEffects{};
  FStartEffects.Active = true;
  if (spSkinCheckRadioBox5->isChecked()) {
    showMinimized();
    FStartEffects.Minimized = true;
    return;
  }
  SetCaption("Recording...");
  // A window the user has minimized stays so: rolling it up or moving it
  // would restore it onto the screen being recorded.
  if (isMinimized()) return;
  SavedRollUp = RollUpState();
  SavedLeft = x();
  SavedTop = y();
  SetRollUpState(true);
  FStartEffects.RolledUp = true;
  const QSize screen = platform::desktop::ScreenSize();
  if (screen.isValid()) move(screen.width() - width(), screen.height() - height());
}

void TMainForm::UndoStartEffects() {
  if (!FStartEffects.Active) return;
  const TStartEffects done = FStartEffects;
  FStartEffects = TStartEffects{};
  if (done.Minimized) showNormal();
  if (done.RolledUp) {
    SetStoredClientHeight(CollapsedHeight);
    SetRollUpState(SavedRollUp);
    move(SavedLeft, SavedTop);
  }
  Timer1->stop();
  SetCaption("Quorvane Screen Recorder");
  update();
  if (done.ScreenSaverSuspended) screensaver::Suspend(false);
}

void TMainForm::EndRecording(bool AOpenFile) {
  Timer->stop();
  SetIdleControls();
  RecordState = 0;
  FWavePauseFlag = 0;
  FElapsedSeconds = 0;
  lblTime->setText("0:00:00");
  UndoStartEffects();
  if (AOpenFile) OpenOutputFile();
}

void TMainForm::VidaxTerminate(const TRecordEnd& AInfo) {
  // A report's dialog lets later notifications in; they wait their turn.
  FPendingEnds.push_back(AInfo);
  if (FHandlingEnds) return;
  FHandlingEnds = true;
  while (!FPendingEnds.empty()) {
    const TRecordEnd info = FPendingEnds.front();
    FPendingEnds.pop_front();
    HandleRecordEnd(info);
  }
  FHandlingEnds = false;
}

void TMainForm::HandleRecordEnd(const TRecordEnd& AInfo) {
  if (AInfo.Exception) {
    ReportError("Recording terminated with exception: " + QString::fromStdString(AInfo.ExceptionMsg),
                "CLM_VidaxException");
  }
  // Once per recording: a second run-end, or one without a recording, is ignored.
  if (AInfo.TaskIndex == -1 && RecordState != 0) EndRecording(true);
}

QString TMainForm::ElapsedText(int ASeconds) {
  return QStringLiteral("%1:%2:%3")
      .arg(ASeconds / 3600)
      .arg(ASeconds / 60 % 60, 2, 10, QChar('0'))
      .arg(ASeconds % 60, 2, 10, QChar('0'));
}

void TMainForm::TimerTimer() {
  ++FElapsedSeconds;
  lblTime->setText(ElapsedText(FElapsedSeconds));
}

void TMainForm::Timer1Timer() {
  if (!RollUpState()) return;
  if (RecordState == 1) {
    SetCaption(Caption().isEmpty() ? "Recording..." : "");
  } else if (RecordState == 2) {
    SetCaption("Paused");
  }
}

void TMainForm::FormCloseQuery() {
  if (!Vidax) return;
  Vidax->ClearOnProgress();
  Vidax->SetOnTerminate(nullptr);
  FEncoderDetached = true;
  Vidax->Stop(true);
  // No end notification will be handled: put the desktop back here, open nothing.
  if (RecordState != 0) EndRecording(false);
  FPendingEnds.clear();
}

}  // namespace app
