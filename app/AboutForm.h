#pragma once
// The about box: logo, version, the maker's links and notice.

#include <QDialog>

class QLabel;

namespace app {

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kClientHeight = 235;
  // Loads the logo from Profiles/logo.bmp beside the program (or ALogoFile);
  // without a logo the box still opens.
  explicit TAboutForm(QWidget* AParent = nullptr, const QString& ALogoFile = {});

  QLabel* lblVersion;
  QLabel* imgLogo;

 protected:
  void showEvent(QShowEvent* AEvent) override;
};

}  // namespace app
