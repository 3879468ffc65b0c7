#pragma once
// The preview window of a running conversion: a small always-on-top tool
// window that shows the pictures handed to it, with the picture's timestamp
// in its caption. It can be dragged by any point and closed by the user,
// after which the engine stops previewing.
//
// All window work runs on the UI thread (the calling thread waits). Without
// a running Qt application (headless tools) there is no preview: PaintFrame
// returns false and nothing else happens.

#include <atomic>
#include <cstdint>

#include <QImage>
#include <QPointer>

class QWidget;

namespace media {

class TPreviewer {
 public:
  TPreviewer();
  // Frees the window on the UI thread.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Shows ABitmap (copied) with the caption of APTS (microseconds); creates
  // the window on the first call. False once the user has closed the window
  // or when there is no UI to show it on.
  bool PaintFrame(const QImage& ABitmap, int AFrameNumber, int64_t APTS);

  bool Closed() const { return FClosed; }
  // The window, or null before the first frame (UI thread use only).
  QWidget* Form() const { return FForm.data(); }

 private:
  void Paint();  // UI thread

  QPointer<QWidget> FForm;
  std::atomic<bool> FClosed{false};
  QImage FBitmap;
  int FFrameNumber = 0;
  int64_t FPTS = 0;
};

}  // namespace media
