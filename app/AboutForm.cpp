// The about box: see AboutForm.h.
#include "app/AboutForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/skin/Controls.h"
#include "platform/Desktop.h"

namespace app {

namespace {
QLabel* Link(const QString& AUrl, QWidget* AParent) {
  QString shown = AUrl;
  shown.remove("https://");
  if (shown.endsWith('/')) shown.chop(1);
  auto* label = new QLabel("<a href=\"" + AUrl + "\">" + shown + "</a>", AParent);
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  QObject::connect(label, &QLabel::linkActivated, label,
                   [](const QString& AUrl) { platform::desktop::ShellOpen(AUrl); });
  return label;
}
}  // namespace

TAboutForm::TAboutForm(QWidget* AParent, const QString& ALogoFile) : QDialog(AParent) {
  setWindowTitle("About");
  setFont(skin::DefaultFont());
  setFixedWidth(420);

  imgLogo = new QLabel(this);
  imgLogo->setFixedSize(96, 96);
  imgLogo->setAlignment(Qt::AlignCenter);
  const QPixmap logo(ALogoFile.isEmpty() ? platform::desktop::AppDir() + "Profiles/logo.bmp" : ALogoFile);
  if (!logo.isNull()) imgLogo->setPixmap(logo.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));

  auto* title = new QLabel("Quorvane Screen Recorder", this);
  QFont titleFont = skin::DefaultFont(true);
  titleFont.setPixelSize(16);
  title->setFont(titleFont);
  title->setStyleSheet("color: #26344e;");
  lblVersion = new QLabel("Version 1.5", this);

  auto* links = new QGridLayout;
  links->setHorizontalSpacing(8);
  links->addWidget(new QLabel("Home page:", this), 0, 0);
  links->addWidget(Link("https://www.quorvane.com/screen-recorder/", this), 0, 1);
  links->addWidget(new QLabel("Support:", this), 1, 0);
  links->addWidget(Link("https://www.quorvane.com/support/", this), 1, 1);
  links->setColumnStretch(1, 1);

  auto* text = new QVBoxLayout;
  text->setSpacing(4);
  text->addWidget(title);
  text->addWidget(lblVersion);
  text->addSpacing(6);
  text->addLayout(links);
  text->addStretch(1);
  auto* top = new QHBoxLayout;
  top->setSpacing(14);
  top->addWidget(imgLogo, 0, Qt::AlignTop);
  top->addLayout(text, 1);

  auto* notice = new QLabel(
      "Records the screen, a part of it or a single window, together with the sound the computer "
      "plays, into the video format of your choice.\nCopyright \u00a9 Quorvane. All rights reserved.",
      this);
  notice->setWordWrap(true);
  notice->setStyleSheet("color: #5a6478;");

  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 10);
  layout->addLayout(top);
  layout->addWidget(notice);
  layout->addStretch(1);
  layout->addLayout(buttons);
}

void TAboutForm::showEvent(QShowEvent* AEvent) {
  setFixedHeight(kClientHeight);
  QDialog::showEvent(AEvent);
}

}  // namespace app
