#pragma once
// The main window's layout as tables: names, captions in their stored form, tool tips,
// colours (0xBBGGRR) and geometry in twips relative to each control's container.
#include "console/main_form.h"
#include "core/link/views.h"

namespace tkr::console::layout {

using link::MainView;
using link::Toggle;
using platform::Color;

using Geo = Main_form::Geo;

// clang-format off

constexpr Color kPurple = 0x800080;
constexpr Color kDarkGreen = 0x008000;
constexpr Color kBlue = 0xFF0000;
constexpr Color kLightBlue = 0xFFC0C0;
constexpr Color kLightYellow = 0xC0FFFF;
constexpr Color kTeal = 0xC0C000;
constexpr Color kPeach = 0x80C0FF;

struct FrameRow {
  const char* name;
  const char* caption;
  Geo g;
};
// Indexed by frame number - 1.
constexpr FrameRow kFrames[] = {
    {"Frame1", "Monitor", {24, -24, 4056, 2172}},
    {"Frame2", "Tracks Data", {4140, -24, 3492, 2784}},
    {"Frame3", "Configuration Enable/Disable", {24, 2148, 4056, 612}},
    {"Frame4", "Current Settings", {24, 3408, 7620, 1692}},
    {"Frame5", "Configuration Settings and Functions", {24, 2760, 7608, 612}},
};

struct ToggleRow {
  const char* name;
  const char* caption;
  const char* tip;
  Geo g;
  Toggle toggle;
  link::CheckControl* MainView::*slot;
};
// The row of five at top 240; RTS and CTS on a second row, hidden at load.
constexpr ToggleRow kToggles[] = {
    {"BuzzerCheckBox", "Buzzer", "Buzzer Enable/Disable", {120, 240, 732, 252}, Toggle::Buzzer,
     &MainView::BuzzerCheckBox},
    {"SSESCheckBox", "SS/ES", "SS/ES Enable/Disable", {852, 240, 732, 252}, Toggle::SSES,
     &MainView::SSESCheckBox},
    {"SelfArmCheckBox", "Self-Arm", "Self-Arm Mode Enable/Disable", {1584, 240, 1020, 252},
     Toggle::SelfArm, &MainView::SelfArmCheckBox},
    {"LRCCheckBox", "LRC", "LRC Enable/Disable", {2604, 240, 696, 252}, Toggle::LRC,
     &MainView::LRCCheckBox},
    {"JISCheckBox", "JIS", nullptr, {3300, 240, 636, 252}, Toggle::JIS, &MainView::JISCheckBox},
    {"RTSCheckBox", "RTS", "RTS Enable/Disable", {2520, 480, 504, 252}, Toggle::RTS,
     &MainView::RTSCheckBox},
    {"CTSCheckBox", "CTS", "CTS Enable/Disable", {3024, 480, 504, 252}, Toggle::CTS,
     &MainView::CTSCheckBox},
};

struct TrackRow {
  const char* box;
  const char* caption;
  const char* boxTip;
  Geo boxGeo;
  const char* text;
  const char* textTip;
  Geo textGeo;
  link::CheckControl* MainView::*boxSlot;
  link::Control* MainView::*textSlot;
};
constexpr TrackRow kTracks[] = {
    {"TK1CheckBox", "TK1", "Send Track1 data or not", {120, 168, 852, 204}, "Track1TextBox",
     "Track 1 Data", {120, 384, 3252, 588}, &MainView::TK1CheckBox, &MainView::Track1TextBox},
    {"TK2CheckBox", "TK2", "Send Track2 data or not", {120, 996, 852, 180}, "Track2TextBox",
     "Track 2 Data", {120, 1200, 3252, 612}, &MainView::TK2CheckBox, &MainView::Track2TextBox},
    {"TK3CheckBox", "TK3", "Send Track3 data or not", {120, 1836, 852, 180}, "Track3TextBox",
     "Track 3 Data", {132, 2040, 3240, 612}, &MainView::TK3CheckBox, &MainView::Track3TextBox},
};


struct ValueRow {
  const char* caption;
  const char* name;
  int captionLeft, valueLeft, top;
  link::Control* MainView::*slot;
};
constexpr int kCaptionWidth[] = {840, 1080, 840};
constexpr int kValueWidth[] = {780, 960, 2700};
constexpr int kRowTops[] = {240, 516, 792, 1068, 1344};
constexpr int kLabelHeight = 228;
constexpr ValueRow kValues[] = {
    {"COM Port", "COMPortLabel", 120, 1008, kRowTops[0], &MainView::COMPortLabel},
    {"Baud Rate", "BaudRateLabel", 120, 1008, kRowTops[1], &MainView::BaudRateLabel},
    {"Bit && Parity", "ParityLabel", 120, 1008, kRowTops[2], &MainView::ParityLabel},
    {"RTS", "RTSLabel", 120, 1008, kRowTops[3], &MainView::RTSLabel},
    {"CTS", "CTSLabel", 120, 1008, kRowTops[4], &MainView::CTSLabel},
    {"Self-Arm Mode", "SelfArmLabel", 1812, 2940, kRowTops[0], &MainView::SelfArmLabel},
    {"LRC", "LRCLabel", 1812, 2940, kRowTops[1], &MainView::LRCLabel},
    {"SS && ES", "SSESLabel", 1812, 2940, kRowTops[2], &MainView::SSESLabel},
    {"Protocol", "ProtocolLabel", 1812, 2940, kRowTops[3], &MainView::ProtocolLabel},
    {"JIS Read Head", "JISLabel", 1812, 2940, kRowTops[4], &MainView::JISLabel},
    {"Buzzer", "BuzzerLabel", 3936, 4812, kRowTops[0], &MainView::BuzzerLabel},
    {"Card Type", "CardTypeLabel", 3936, 4812, kRowTops[1], &MainView::CardTypeLabel},
    {"F/W Ver.", "FWLabel", 3936, 4812, kRowTops[2], &MainView::FWLabel},
};

struct PanelRow {
  int width;
  const char* text;  // also the tool tip
};
constexpr PanelRow kPanels[] = {
    {2469, "Host Command"}, {4233, nullptr}, {2469, "Reader Response"}, {4233, nullptr}};
constexpr Geo kStatusBar{0, 5196, 7644, 228};
// clang-format on

}  // namespace tkr::console::layout
