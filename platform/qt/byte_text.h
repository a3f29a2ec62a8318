#pragma once
// How byte strings look on screen. Line data shows each byte as its code page 437 glyph, so
// control codes and high bytes stay visible; captions keep their stored form ("&&" for "&").
#include <QColor>
#include <QString>

#include "core/protocol/bytes.h"
#include "platform/controls.h"

namespace tkr::platform::qt {

// Every byte as one character: printable ASCII as itself, anything else as its CP437 glyph.
QString BytesToGlyphs(const Bytes& bytes);
// The reverse, for text the operator typed: CP437 glyphs first, then Latin-1, else '?'.
Bytes GlyphsToBytes(const QString& text);

// A label caption on screen: "&&" shows as "&", a lone "&" (a mnemonic mark) is dropped,
// "\r\n", "\n" and "\r" break the line, other bytes as BytesToGlyphs. With mnemonics off
// every "&" shows as is.
QString LabelDisplay(const Bytes& caption, bool mnemonics = true);
// The stored form of a label's screen text (what LabelDisplay would have been given).
Bytes LabelCaption(const QString& display, bool mnemonics = true);

// Captions of buttons and check boxes: Qt shows "&&" as "&" itself.
QString Latin1Text(const Bytes& bytes);
Bytes Latin1Bytes(const QString& text);

// Colours are 0xBBGGRR.
QColor ToQColor(Color color);
Color FromQColor(const QColor& color);

}  // namespace tkr::platform::qt
