#pragma once
// Controls that only keep their properties: the windows' stand-ins where nobody sees them
// (the command-line tool, the tests).
#include <string>

#include "platform/controls.h"

namespace tkr::platform {

template <class Base>
class PlainControlOf : public Base {
 public:
  Bytes caption() const override { return caption_; }
  void setCaption(const Bytes& t) override { caption_ = t; }
  bool enabled() const override { return enabled_; }
  void setEnabled(bool e) override { enabled_ = e; }
  bool visible() const override { return visible_; }
  void setVisible(bool v) override { visible_ = v; }
  Color backColor() const override { return back_; }
  void setBackColor(Color c) override { back_ = c; }

 private:
  Bytes caption_;
  bool enabled_ = true;
  bool visible_ = true;
  Color back_ = 0;
};

using PlainControl = PlainControlOf<Control>;

class PlainCheck : public PlainControlOf<CheckControl> {
 public:
  int value() const override { return value_; }
  void setValue(int v) override {
    if (v == value_) return;
    value_ = v;
    if (onClick) onClick();
  }
  // The operator's click: flips the value, which raises onClick.
  void click() { setValue(value_ ? 0 : 1); }

 private:
  int value_ = 0;
};

class PlainProgress : public ProgressControl {
 public:
  void setMin(int v) override { min_ = v; }
  void setMax(int v) override { max_ = v; }
  void setValue(int v) override { value_ = v; }
  int min() const override { return min_; }
  int max() const override { return max_; }
  int value() const override { return value_; }

 private:
  int min_ = 0, max_ = 100, value_ = 0;
};

// A monitor box that keeps its text.
class PlainLog : public LogControl {
 public:
  void append(const std::string& t) override { text_ += t; }
  void removeLeadingLines(std::size_t lines) override {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < lines && pos != std::string::npos; ++i) {
      pos = text_.find('\n', pos);
      if (pos != std::string::npos) ++pos;
    }
    text_.erase(0, pos == std::string::npos ? text_.size() : pos);
  }
  void clear() override { text_.clear(); }
  std::string text() const override { return text_; }

 private:
  std::string text_;
};

}  // namespace tkr::platform
