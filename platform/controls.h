#pragma once
// The properties of the windows' controls that the console's routines read and write.
// Captions and texts are byte strings: a track box shows each byte as its code page 437
// glyph, and captions keep the stored form ("&&" for one ampersand on screen).
#include <cstdint>
#include <functional>
#include <string>

#include "core/protocol/bytes.h"

namespace tkr::platform {

using Color = std::uint32_t;  // 0xBBGGRR
constexpr Color kGreen = 0x00FF00;
constexpr Color kLightGreen = 0xC0FFC0;
constexpr Color kRed = 0x0000FF;

class Control {
 public:
  virtual ~Control() = default;
  virtual Bytes caption() const = 0;  // label caption, text box text, button caption
  virtual void setCaption(const Bytes& text) = 0;
  virtual bool enabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool visible() const = 0;
  virtual void setVisible(bool visible) = 0;
  virtual Color backColor() const = 0;
  virtual void setBackColor(Color color) = 0;
};

// A check box or option button: value 0 or 1. Setting a different value raises onClick
// exactly as the operator's click does; setting the same value raises nothing.
class CheckControl : public Control {
 public:
  virtual int value() const = 0;
  virtual void setValue(int value) = 0;
  std::function<void()> onClick;
};

// The monitor: an append-only text whose oldest lines can be dropped.
class LogControl {
 public:
  virtual ~LogControl() = default;
  virtual void append(const std::string& text) = 0;
  virtual void removeLeadingLines(std::size_t lines) = 0;
  virtual void clear() = 0;
  virtual std::string text() const = 0;
};

class ProgressControl {
 public:
  virtual ~ProgressControl() = default;
  virtual void setMin(int v) = 0;
  virtual void setMax(int v) = 0;
  virtual void setValue(int v) = 0;
  virtual int min() const = 0;
  virtual int max() const = 0;
  virtual int value() const = 0;
};

}  // namespace tkr::platform
