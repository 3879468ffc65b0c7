#pragma once
// The skinned frame of the main window: a frameless window with a caption bar
// of its own (system-menu icon, caption, caption buttons, minimize, roll-up
// and close) above a client area of fixed width. The window can be rolled up
// to its caption bar and back; dragging it by the caption bar snaps it to the
// screen's edges.

#include <QMenu>
#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>

#include "app/skin/ImageButton.h"

class QLabel;

namespace app::skin {

// Where a window of ASize dragged to ATopLeft lands: an edge within
// ADistance pixels of the screen's edge sticks to it.
QPoint SnapToEdges(QPoint ATopLeft, QSize ASize, QRect AScreen, int ADistance = 10);

class TSkinForm : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kCaptionHeight = 24;
  static constexpr int kBorder = 1;
  static constexpr int kCaptionButtonCount = 3;

  explicit TSkinForm(int AClientWidth, QWidget* AParent = nullptr);

  QWidget* Client() const { return FClient; }
  void SetCaption(const QString& ACaption);
  QString Caption() const;

  int ClientHeight() const { return FClientHeight; }
  // Sets the client area's height; while rolled up only the stored height.
  void SetClientHeight(int AHeight);

  bool RollUpState() const { return FRolledUp; }
  // Rolls the window up to its caption bar (true) or down again; raises
  // OnChangeRollUpState when the state changes.
  void SetRollUpState(bool ARolledUp);
  // The client height the window gets back when it is rolled down.
  int StoredClientHeight() const { return FStoredClientHeight; }
  void SetStoredClientHeight(int AHeight) { FStoredClientHeight = AHeight; }
  std::function<void()> OnChangeRollUpState;

  // Caption buttons 0..2 (hint, Enabled, Visible, clicked()).
  TImageButton* CaptionButton(int AIndex) const { return FCaptionButtons.at(AIndex); }
  // The system menu, opened by the caption icon and a right click on the bar.
  QMenu* SystemMenu() const { return FSystemMenu; }
  void ShowSystemMenu(QPoint AGlobalPos);

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void ApplySize();
  TImageButton* AddBorderButton(TGlyph AGlyph, const QString& AHint);

  int FClientWidth;
  int FClientHeight = 0;
  int FStoredClientHeight = 0;
  bool FRolledUp = false;
  QWidget* FCaptionBar = nullptr;
  QLabel* FCaptionLabel = nullptr;
  TImageButton* FSystemButton = nullptr;
  TImageButton* FRollUpButton = nullptr;
  std::array<TImageButton*, kCaptionButtonCount> FCaptionButtons{};
  QWidget* FClient = nullptr;
  QMenu* FSystemMenu = nullptr;
  bool FDragging = false;
  QPoint FDragOffset;
};

}  // namespace app::skin
