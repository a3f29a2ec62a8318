#include "platform/qt/byte_text.h"

#include "core/protocol/cp437.h"

namespace tkr::platform::qt {

namespace {

void AppendCodePoint(QString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.append(QChar(static_cast<char16_t>(cp)));
  } else {
    const char32_t one[1] = {cp};
    out.append(QString::fromUcs4(one, 1));
  }
}

void AppendGlyph(QString& out, std::uint8_t byte) {
  if (byte >= 0x20 && byte < 0x7F) {
    out.append(QChar(static_cast<char16_t>(byte)));
  } else {
    AppendCodePoint(out, protocol::Cp437Glyph(byte));
  }
}

}  // namespace

QString BytesToGlyphs(const Bytes& bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) AppendGlyph(out, static_cast<std::uint8_t>(c));
  return out;
}

Bytes GlyphsToBytes(const QString& text) {
  Bytes out;
  for (char32_t cp : text.toUcs4()) {
    if (const auto byte = protocol::Cp437Byte(cp)) {
      out.push_back(static_cast<char>(*byte));
    } else {
      out.push_back(cp <= 0xFF ? static_cast<char>(static_cast<std::uint8_t>(cp)) : '?');
    }
  }
  return out;
}

QString LabelDisplay(const Bytes& caption, bool mnemonics) {
  QString out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(caption[i]);
    const bool next = i + 1 < caption.size();
    if (byte == '&' && mnemonics) {
      if (next && caption[i + 1] == '&') {
        out.append(QLatin1Char('&'));
        ++i;
      }
    } else if (byte == '\r') {
      out.append(QLatin1Char('\n'));
      if (next && caption[i + 1] == '\n') ++i;
    } else if (byte == '\n') {
      out.append(QLatin1Char('\n'));
    } else {
      AppendGlyph(out, byte);
    }
  }
  return out;
}

Bytes LabelCaption(const QString& display, bool mnemonics) {
  Bytes out;
  for (const QChar c : display) {
    if (c == QLatin1Char('&') && mnemonics) {
      out += "&&";
    } else if (c == QLatin1Char('\n')) {
      out += "\r\n";
    } else {
      out += GlyphsToBytes(QString(c));
    }
  }
  return out;
}

QString Latin1Text(const Bytes& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

Bytes Latin1Bytes(const QString& text) {
  const QByteArray latin1 = text.toLatin1();
  return Bytes(latin1.constData(), static_cast<std::size_t>(latin1.size()));
}

QColor ToQColor(Color color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

Color FromQColor(const QColor& color) {
  return static_cast<Color>(color.red()) | static_cast<Color>(color.green()) << 8 |
         static_cast<Color>(color.blue()) << 16;
}

}  // namespace tkr::platform::qt
