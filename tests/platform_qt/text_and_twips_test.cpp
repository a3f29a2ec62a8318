#include <gtest/gtest.h>

#include "core/protocol/cp437.h"
#include "platform/qt/byte_text.h"
#include "platform/qt/twips.h"

namespace tkr::platform::qt {
namespace {

Bytes AllBytes() {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

TEST(ByteText, EveryByteShowsAsOneVisibleGlyphAndComesBack) {
  const Bytes all = AllBytes();
  const QString shown = BytesToGlyphs(all);
  ASSERT_EQ(shown.size(), 256);  // nothing dropped, nothing doubled
  EXPECT_EQ(shown[0], QChar(0x2400));
  EXPECT_EQ(shown[0x0D], QChar(static_cast<char16_t>(protocol::Cp437Glyph(0x0D))));
  EXPECT_EQ(shown[0x41], QLatin1Char('A'));
  EXPECT_EQ(shown[0xFF], QChar(0x00A0));
  EXPECT_EQ(GlyphsToBytes(shown), all);
}

TEST(ByteText, TypedTextFallsBackToLatin1ThenQuestionMark) {
  // 0xE9 'é' is a CP437 glyph (byte 0x82); U+00A4 is not, so it keeps its Latin-1 value.
  EXPECT_EQ(GlyphsToBytes(QString::fromUtf8("\u00e9\u00a4\u20ac")), MakeBytes({0x82, 0xA4, '?'}));
}

struct LabelRow {
  const char* name;
  Bytes caption;
  bool mnemonics;
  QString shown;
  bool roundTrips = true;
};

TEST(ByteText, LabelCaptionsShowTheirScreenForm) {
  const LabelRow rows[] = {
      {"DoubledAmpersand", "Bit && Parity", true, "Bit & Parity"},
      {"MnemonicMarkDropped", "&Exit", true, "Exit", false},
      {"AmpersandsLiteral", "A && B", false, "A && B"},
      {"CrLfBreaks", "Line 1\r\nLine 2", true, "Line 1\nLine 2"},
      {"ControlByteAsGlyph", MakeBytes({'V', 0x01}), true, QString("V") + QChar(0x263A)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(LabelDisplay(row.caption, row.mnemonics), row.shown);
    if (row.roundTrips) {
      EXPECT_EQ(LabelCaption(row.shown, row.mnemonics), row.caption);
    }
  }
}

TEST(ByteText, ColoursAreBlueGreenRed) {
  EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(0xC0FFC0), QColor(0xC0, 0xFF, 0xC0));
  EXPECT_EQ(ToQColor(0x800080), QColor(0x80, 0, 0x80));
  EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56)), 0x563412u);
}

struct TwipsRow {
  const char* name;
  int twips;
  double dpi;
  int pixels;
};

class TwipsTest : public ::testing::TestWithParam<TwipsRow> {};

TEST_P(TwipsTest, RoundsToNearestPixel) {
  EXPECT_EQ(TwipsToPixels(GetParam().twips, GetParam().dpi), GetParam().pixels);
}

const TwipsRow kTwipsRows[] = {
    {"OneInchAt96", 1440, 96, 96},
    {"ClientWidthAt96", 7650, 96, 510},
    {"HalfRoundsUp", 7650, 120, 638},  // 637.5
    {"BelowHalfDown", 7, 96, 0},       // 0.47
    {"AboveHalfUp", 8, 96, 1},         // 0.53
    {"NegativeTop", -24, 96, -2},      // -1.6
    {"Zero", 0, 144, 0},
    {"HighDpi", 228, 192, 30},  // 30.4
};

INSTANTIATE_TEST_SUITE_P(Rows, TwipsTest, ::testing::ValuesIn(kTwipsRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Twips, RectConvertsEachEdgeAtItsAxisDpi) {
  EXPECT_EQ(FromTwips(24, -24, 4056, 2172, Dpi{96, 96}), QRect(2, -2, 270, 145));
  EXPECT_EQ(FromTwips(1440, 1440, 1440, 1440, Dpi{96, 120}), QRect(96, 120, 96, 120));
}

}  // namespace
}  // namespace tkr::platform::qt
