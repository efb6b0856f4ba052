// Fonts, colours and label kinds of the companion window.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

namespace quelvar {

// Width of every wrapping text: the window's 560 less two 28-pixel margins.
inline constexpr int textWidth = 504;

enum class TextColour { label, secondary, green, red };

// The system font at a size in device-independent pixels.
QFont systemFont(int size, QFont::Weight weight = QFont::Normal);

void setTextColour(QWidget& widget, TextColour colour);

// Menu and button titles treat "&" as a mnemonic marker; this keeps it a plain character.
QString literalTitle(QString text);

// A one-line plain-text label.
QLabel* makeLabel(const QString& text, const QFont& font);

// A plain-text label that wraps at `textWidth`.
QLabel* makeWrappingLabel(const QString& text, const QFont& font, TextColour colour);

}  // namespace quelvar
