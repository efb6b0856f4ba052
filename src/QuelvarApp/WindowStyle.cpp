// Sizes are given in device-independent pixels, not points, so that the window keeps its
// proportions: at 96 dpi a point is a third larger than a pixel and the texts would not fit.
#include "WindowStyle.hpp"

#include <QApplication>
#include <QPalette>

namespace quelvar {
namespace {

bool darkTheme() {
  return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

QColor colourFor(TextColour colour) {
  const QColor text = QApplication::palette().color(QPalette::WindowText);
  switch (colour) {
    case TextColour::label:
      return text;
    case TextColour::secondary: {
      QColor secondary = text;
      secondary.setAlphaF(0.6f);
      return secondary;
    }
    case TextColour::green:
      return darkTheme() ? QColor(0x30, 0xd1, 0x58) : QColor(0x24, 0x8a, 0x3d);
    case TextColour::red:
      return darkTheme() ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x00, 0x15);
  }
  return text;
}

}  // namespace

QFont systemFont(int size, QFont::Weight weight) {
  QFont font = QApplication::font();
  font.setPixelSize(size);
  font.setWeight(weight);
  return font;
}

void setTextColour(QWidget& widget, TextColour colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, colourFor(colour));
  widget.setPalette(palette);
}

QString literalTitle(QString text) {
  return text.replace('&', QStringLiteral("&&"));
}

QLabel* makeLabel(const QString& text, const QFont& font) {
  auto* label = new QLabel(text);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  return label;
}

QLabel* makeWrappingLabel(const QString& text, const QFont& font, TextColour colour) {
  QLabel* label = makeLabel(text, font);
  label->setWordWrap(true);
  label->setFixedWidth(textWidth);
  setTextColour(*label, colour);
  return label;
}

}  // namespace quelvar
