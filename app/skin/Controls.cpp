// Skinned controls: see Controls.h.
#include "app/skin/Controls.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QToolButton>

#include "app/skin/Pictures.h"

namespace app::skin {

QFont DefaultFont(bool ABold) {
  QFont font("DejaVu Sans");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setBold(ABold);
  return font;
}

TSectionPanel::TSectionPanel(int AHeaderHeight, QWidget* AParent)
    : QWidget(AParent), FHeaderHeight(AHeaderHeight) {}

void TSectionPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), colors::kFace);
  QLinearGradient header(0, 0, 0, FHeaderHeight);
  header.setColorAt(0, colors::kHeaderTop);
  header.setColorAt(1, colors::kHeaderBottom);
  p.fillRect(QRect(0, 0, width(), FHeaderHeight), header);
  p.setPen(QColor(255, 255, 255));
  p.drawLine(0, 0, width(), 0);
  p.setPen(QColor(190, 198, 212));
  p.drawLine(0, FHeaderHeight - 1, width(), FHeaderHeight - 1);
  if (height() > FHeaderHeight) p.drawLine(0, height() - 1, width(), height() - 1);
}

void TSummaryLabel::SetText(const QString& AText) {
  setText(AText);
  setToolTip(AText);
}

void TSummaryLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(foregroundRole()));
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
  p.drawText(contentsRect(), static_cast<int>(alignment()), shown);
}

TDirectoryEdit::TDirectoryEdit(QWidget* AParent) : QWidget(AParent) {
  FEdit = new QLineEdit(this);
  FBrowse = new QToolButton(this);
  FBrowse->setText("...");
  FBrowse->setToolTip(tr("Browse for a folder"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(FEdit, 1);
  layout->addWidget(FBrowse);
  connect(FEdit, &QLineEdit::textChanged, this, &TDirectoryEdit::changed);
  connect(FBrowse, &QToolButton::clicked, this, &TDirectoryEdit::Browse);
}

QString TDirectoryEdit::Text() const { return FEdit->text(); }
void TDirectoryEdit::SetText(const QString& AText) { FEdit->setText(AText); }

void TDirectoryEdit::Browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Choose the folder for recordings"), Text());
  if (!folder.isEmpty()) SetText(folder);
}

}  // namespace app::skin
