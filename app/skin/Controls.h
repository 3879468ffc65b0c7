#pragma once
// Small skinned controls of the main window: the section panel with its
// header, the summary label that elides what does not fit, the directory
// field with its browse button, and the application's font.

#include <QFont>
#include <QLabel>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace app::skin {

// Sans-serif at 11 pixels; bold for titles.
QFont DefaultFont(bool ABold = false);

// A panel whose top AHeaderHeight pixels are drawn as a section header.
class TSectionPanel : public QWidget {
 public:
  TSectionPanel(int AHeaderHeight, QWidget* AParent);

 protected:
  void paintEvent(QPaintEvent* AEvent) override;

 private:
  int FHeaderHeight;
};

// A label that shows as much of its text as fits, ending in an ellipsis;
// the whole text is its tool tip.
class TSummaryLabel : public QLabel {
 public:
  using QLabel::QLabel;
  void SetText(const QString& AText);

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
};

// A directory field: an edit with a browse button that picks a folder.
class TDirectoryEdit : public QWidget {
  Q_OBJECT
 public:
  explicit TDirectoryEdit(QWidget* AParent = nullptr);
  QString Text() const;
  void SetText(const QString& AText);
  QLineEdit* Edit() const { return FEdit; }

 signals:
  void changed();

 private:
  void Browse();
  QLineEdit* FEdit;
  QToolButton* FBrowse;
};

}  // namespace app::skin
