#pragma once
// The controls of the windows that the shared routines read and write, by their names.
#include <array>

#include "platform/controls.h"

namespace tkr::link {

using platform::CheckControl;
using platform::Control;
using platform::LogControl;
using platform::ProgressControl;

struct MainView {
  // "Current Settings" value labels and the busy indicator.
  Control* COMPortLabel = nullptr;
  Control* BaudRateLabel = nullptr;
  Control* ParityLabel = nullptr;
  Control* RTSLabel = nullptr;
  Control* CTSLabel = nullptr;
  Control* SelfArmLabel = nullptr;
  Control* LRCLabel = nullptr;
  Control* SSESLabel = nullptr;
  Control* ProtocolLabel = nullptr;
  Control* JISLabel = nullptr;
  Control* BuzzerLabel = nullptr;
  Control* CardTypeLabel = nullptr;
  Control* FWLabel = nullptr;
  Control* BusyLabel = nullptr;
  Control* BusyTextLabel = nullptr;

  // "Configuration Enable/Disable" and "Tracks Data" check boxes.
  CheckControl* BuzzerCheckBox = nullptr;
  CheckControl* SSESCheckBox = nullptr;
  CheckControl* SelfArmCheckBox = nullptr;
  CheckControl* LRCCheckBox = nullptr;
  CheckControl* JISCheckBox = nullptr;
  CheckControl* RTSCheckBox = nullptr;
  CheckControl* CTSCheckBox = nullptr;
  CheckControl* TK1CheckBox = nullptr;
  CheckControl* TK2CheckBox = nullptr;
  CheckControl* TK3CheckBox = nullptr;

  Control* DefaultButton = nullptr;
  Control* PreSuffixCommand = nullptr;
  Control* CardDataButton = nullptr;

  Control* Track1TextBox = nullptr;
  Control* Track2TextBox = nullptr;
  Control* Track3TextBox = nullptr;
  Control* txtSend = nullptr;
  LogControl* txtReceive = nullptr;

  // StatusBar1's panels 1..4 at index 0..3.
  std::array<Control*, 4> StatusPanels{};
};

// The controls the main window hides at load: the card data button and the handshake boxes.
// With those hidden, the port dialog does not tell the reader new line settings.
inline void HideUnusedControls(const MainView& view) {
  view.CardDataButton->setVisible(false);
  view.RTSCheckBox->setVisible(false);
  view.CTSCheckBox->setVisible(false);
}

struct DetectingView {
  Control* StepLabel = nullptr;
  Control* COMLabel = nullptr;
  Control* DataLabel = nullptr;
  ProgressControl* ProgressBar1 = nullptr;
};

}  // namespace tkr::link
