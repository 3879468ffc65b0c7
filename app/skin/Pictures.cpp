// Drawing the skin's pictures: see Pictures.h.
#include "app/skin/Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace app::skin {

namespace {

QPixmap Transparent(QSize ASize) {
  QPixmap pixmap(ASize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// Draws the glyph into ARect with the pen/brush colour AColor.
void DrawGlyph(QPainter& p, TGlyph AGlyph, const QRectF& ARect, const QColor& AColor) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = ARect.width();
  const qreal h = ARect.height();
  const QPointF c = ARect.center();
  QPen pen(AColor, std::max<qreal>(1.5, w / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (AGlyph) {
    case TGlyph::Expand:
    case TGlyph::Collapse: {
      const qreal d = AGlyph == TGlyph::Expand ? 1 : -1;
      p.setPen(pen);
      QPolygonF chevron;
      chevron << QPointF(c.x() - w * 0.25, c.y() - d * h * 0.12)
              << QPointF(c.x(), c.y() + d * h * 0.14)
              << QPointF(c.x() + w * 0.25, c.y() - d * h * 0.12);
      p.drawPolyline(chevron);
      break;
    }
    case TGlyph::Record:
      p.setPen(Qt::NoPen);
      p.setBrush(AColor);
      p.drawEllipse(c, w * 0.3, h * 0.3);
      break;
    case TGlyph::Pause:
      p.setPen(Qt::NoPen);
      p.setBrush(AColor);
      p.drawRoundedRect(QRectF(c.x() - w * 0.25, c.y() - h * 0.28, w * 0.18, h * 0.56), 1, 1);
      p.drawRoundedRect(QRectF(c.x() + w * 0.07, c.y() - h * 0.28, w * 0.18, h * 0.56), 1, 1);
      break;
    case TGlyph::Stop:
      p.setPen(Qt::NoPen);
      p.setBrush(AColor);
      p.drawRoundedRect(QRectF(c.x() - w * 0.25, c.y() - h * 0.25, w * 0.5, h * 0.5), 1.5, 1.5);
      break;
    case TGlyph::Play: {
      p.setPen(Qt::NoPen);
      p.setBrush(AColor);
      QPolygonF tri;
      tri << QPointF(c.x() - w * 0.2, c.y() - h * 0.3) << QPointF(c.x() + w * 0.3, c.y())
          << QPointF(c.x() - w * 0.2, c.y() + h * 0.3);
      p.drawPolygon(tri);
      break;
    }
    case TGlyph::Minimize:
      p.setPen(pen);
      p.drawLine(QPointF(c.x() - w * 0.25, c.y() + h * 0.2), QPointF(c.x() + w * 0.25, c.y() + h * 0.2));
      break;
    case TGlyph::RollUp:
    case TGlyph::RollDown: {
      const qreal d = AGlyph == TGlyph::RollUp ? -1 : 1;
      p.setPen(pen);
      p.drawLine(QPointF(c.x() - w * 0.25, c.y() - h * 0.28), QPointF(c.x() + w * 0.25, c.y() - h * 0.28));
      QPolygonF arrow;
      arrow << QPointF(c.x() - w * 0.2, c.y() + h * 0.12 - d * h * 0.1)
            << QPointF(c.x(), c.y() + h * 0.12 + d * h * 0.1)
            << QPointF(c.x() + w * 0.2, c.y() + h * 0.12 - d * h * 0.1);
      p.drawPolyline(arrow);
      break;
    }
    case TGlyph::Close:
      p.setPen(pen);
      p.drawLine(QPointF(c.x() - w * 0.2, c.y() - h * 0.2), QPointF(c.x() + w * 0.2, c.y() + h * 0.2));
      p.drawLine(QPointF(c.x() + w * 0.2, c.y() - h * 0.2), QPointF(c.x() - w * 0.2, c.y() + h * 0.2));
      break;
    case TGlyph::SystemMenu: {
      p.setPen(QPen(AColor, std::max<qreal>(1.5, w / 9.0)));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(c, w * 0.42, h * 0.42);
      p.setPen(Qt::NoPen);
      p.setBrush(colors::kRecord);
      p.drawEllipse(c, w * 0.24, h * 0.24);
      break;
    }
  }
  p.restore();
}

}  // namespace

TButtonPictures SectionButtonPictures(TGlyph AGlyph, int ASize) {
  TButtonPictures pictures;
  const QSize size(ASize, ASize);
  const QRectF box(0.5, 0.5, ASize - 1, ASize - 1);
  auto draw = [&](const QColor& fill, const QColor& frame, const QColor& glyph) {
    QPixmap pixmap = Transparent(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(frame);
    p.setBrush(fill);
    p.drawRoundedRect(box, 3, 3);
    DrawGlyph(p, AGlyph, box, glyph);
    return pixmap;
  };
  pictures.Normal = draw(QColor(255, 255, 255), QColor(168, 178, 196), colors::kAccent);
  pictures.Hover = draw(QColor(226, 235, 250), colors::kAccent, colors::kAccent);
  pictures.Pressed = draw(colors::kAccent, colors::kAccent, Qt::white);
  return pictures;
}

TButtonPictures CaptionButtonPictures(TGlyph AGlyph, QSize ASize) {
  TButtonPictures pictures;
  const QRectF box(0, 0, ASize.width(), ASize.height());
  const QRectF glyphBox(box.center().x() - ASize.height() / 2.0, 0, ASize.height(), ASize.height());
  auto draw = [&](const QColor& fill, const QColor& glyph) {
    QPixmap pixmap = Transparent(ASize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (fill.alpha() > 0) {
      p.setPen(Qt::NoPen);
      p.setBrush(fill);
      p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
    const bool record = AGlyph == TGlyph::Record;
    DrawGlyph(p, AGlyph, glyphBox, record ? colors::kRecord.lighter(115) : glyph);
    return pixmap;
  };
  const bool close = AGlyph == TGlyph::Close;
  pictures.Normal = draw(Qt::transparent, QColor(222, 228, 238));
  pictures.Hover = draw(close ? QColor(196, 43, 28) : QColor(255, 255, 255, 48), Qt::white);
  pictures.Pressed = draw(close ? QColor(150, 30, 20) : QColor(0, 0, 0, 70), Qt::white);
  return pictures;
}

QPixmap GlyphPicture(TGlyph AGlyph, int ASize, bool AEnabled) {
  QPixmap pixmap = Transparent(QSize(ASize, ASize));
  QPainter p(&pixmap);
  QColor color = AGlyph == TGlyph::Record ? colors::kRecord : QColor(58, 66, 82);
  if (!AEnabled) color = QColor(178, 183, 192);
  DrawGlyph(p, AGlyph, QRectF(0, 0, ASize, ASize), color);
  return pixmap;
}

QPixmap ErrorPicture(int ASize) {
  QPixmap pixmap = Transparent(QSize(ASize, ASize));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(1, 1, ASize - 2, ASize - 2);
  QRadialGradient gradient(box.center() - QPointF(ASize / 6.0, ASize / 6.0), ASize * 0.7);
  gradient.setColorAt(0, QColor(240, 90, 80));
  gradient.setColorAt(1, QColor(180, 30, 30));
  p.setPen(QPen(QColor(140, 20, 20), 1));
  p.setBrush(gradient);
  p.drawEllipse(box);
  p.setPen(QPen(Qt::white, ASize / 9.0, Qt::SolidLine, Qt::RoundCap));
  const qreal a = ASize * 0.32;
  const qreal b = ASize * 0.68;
  p.drawLine(QPointF(a, a), QPointF(b, b));
  p.drawLine(QPointF(b, a), QPointF(a, b));
  return pixmap;
}

}  // namespace app::skin
