#pragma once
// The pictures of the skinned controls, drawn by the program itself: the
// three states of every image button, the glyphs of the caption bar and of
// the recording buttons, the error picture.

#include <QColor>
#include <QPixmap>

namespace app::skin {

// Normal, hover and pressed pictures of one image button.
struct TButtonPictures {
  QPixmap Normal;
  QPixmap Hover;
  QPixmap Pressed;
};

enum class TGlyph {
  Expand,    // a section's expand button: a chevron pointing down
  Collapse,  // a section's collapse button: a chevron pointing up
  Record,    // red dot
  Pause,     // two bars
  Stop,      // square
  Play,      // triangle
  Minimize,  // low bar
  RollUp,    // bar with an arrow up
  RollDown,  // bar with an arrow down
  Close,     // cross
  SystemMenu // the program's sign
};

// The three pictures of a button of the given size showing the glyph.
// Caption pictures are drawn for the dark caption bar.
TButtonPictures SectionButtonPictures(TGlyph AGlyph, int ASize);
TButtonPictures CaptionButtonPictures(TGlyph AGlyph, QSize ASize);
// A glyph alone on a transparent square, for the recording buttons.
QPixmap GlyphPicture(TGlyph AGlyph, int ASize, bool AEnabled);
// The error dialog's picture.
QPixmap ErrorPicture(int ASize);

// Colours of the skin.
namespace colors {
inline const QColor kCaptionTop{52, 68, 98};
inline const QColor kCaptionBottom{33, 45, 68};
inline const QColor kBorder{24, 32, 48};
inline const QColor kHeaderTop{238, 241, 246};
inline const QColor kHeaderBottom{219, 225, 234};
inline const QColor kFace{246, 247, 250};
inline const QColor kAccent{58, 96, 160};
inline const QColor kRecord{214, 48, 49};
}  // namespace colors

}  // namespace app::skin
