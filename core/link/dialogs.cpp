// The exchanges that the settings dialogs start.
#include "core/link/module1.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

using protocol::Cmd;

void Module1::ApplyPortSettings() {
  ActionScope action(*this);
  EnsurePortOpen();
  ReplyReceived = false;
  // Only with the handshake boxes shown is the reader told its new line settings.
  if (view_.RTSCheckBox->visible()) {
    const std::pair<const char*, Cmd> bauds[] = {{"1200", Cmd::BR0},
                                                 {"2400", Cmd::BR1},
                                                 {"4800", Cmd::BR2},
                                                 {"9600", Cmd::BR3},
                                                 {"19200", Cmd::BR4}};
    const std::pair<const char*, Cmd> formats[] = {{"e,7,1", Cmd::PT0},
                                                   {"o,7,1", Cmd::PT1},
                                                   {"m,7,1", Cmd::PT2},
                                                   {"s,7,1", Cmd::PT3},
                                                   {"n,8,1", Cmd::PT4}};
    const auto sendMatching = [this](const auto& table, const std::string& value) {
      for (const auto& [text, cmd] : table) {
        if (value == text) {
          SetStatusPanel(2, kFrameMark);
          SendCommand(CommandTable[cmd]);
          break;
        }
      }
      WaitForReply();
    };
    AwaitingReply = true;
    sendMatching(bauds, BaudSetting);
    ReplyReceived = false;
    AwaitingReply = true;
    sendMatching(formats, FrameSetting);
    ReplyReceived = false;
    AwaitingReply = true;
    SetStatusPanel(2, kResetMark);
    SendCommand(protocol::kWarmResetCommand);
    ReplyReceived = false;
  }
  OpenPort(PortNumber, BaudSetting + "," + FrameSetting, HardwareHandshake);
  AwaitingReply = true;
  SetStatusPanel(2, kResetMark);
  SendCommand(protocol::kWarmResetCommand);
  WaitForReply();
  AwaitingReply = true;
  SetStatusPanel(2, kVersionMark);
  SendCommand("9");
  WaitForReply();
  view_.FWLabel->setCaption(legacy() ? ReplyBuffer : ReplyBuffer.substr(0, 8));
  ReplyBuffer.clear();
  ShowPortSettings();
  RefreshingView = true;
  RefreshConfigView();
  RefreshingView = false;
}

void Module1::Connect(int port, const std::string& settings) {
  const auto parts = protocol::SplitSettings(settings);
  PortNumber = port;
  BaudSetting = parts.baud;
  FrameSetting = parts.frame;
  HardwareHandshake = false;
  p_.MSComm1.setCommPort(port);
  p_.MSComm1.setSettings(settings);
  ApplyPortSettings();
}

void Module1::ComPortDefault() {
  RunWhenIdle([this] {
    RestoreDefaultsSequence(false);
    if (legacy()) return;
    if (p_.MSComm1.handshaking() == platform::comRTS) {
      view_.RTSCheckBox->setValue(1);
      view_.CTSCheckBox->setValue(1);
    } else {
      view_.CTSCheckBox->setValue(0);
      view_.RTSCheckBox->setValue(0);
    }
  });
}

void Module1::SendProtocolSetting() {
  AwaitingReply = true;
  const Cmd frames[] = {Cmd::PC1, Cmd::PC2, Cmd::PC3};
  if (ReaderProtocol < 0 || ReaderProtocol > 2) return;
  SetStatusPanel(2, kFrameMark);
  // Not awaited: the answer is interpreted on arrival as any command reply.
  SendCommand(CommandTable[frames[ReaderProtocol]]);
}

void Module1::SendCodeSettings(const CodeSettings& settings) {
  ActionScope action(*this);
  RunWhenIdle([this, settings] {
    const Cmd defaults[] = {Cmd::p1, Cmd::s1, Cmd::p2, Cmd::s2, Cmd::p3, Cmd::s3, Cmd::SP};
    for (std::size_t group = 0; group < settings.size(); ++group) {
      const CodeGroup& codes = settings[group];
      ReplyBuffer.clear();
      AwaitingReply = true;
      if (codes.useDefault) {
        SendCommand(CommandTable[defaults[group]]);
      } else if (group == 6) {
        SendCommand(protocol::BuildSeparatorFrame(protocol::HexCodeToByte(codes.boxes[0])));
      } else {
        std::array<std::uint8_t, 6> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
          bytes[i] = protocol::HexCodeToByte(codes.boxes[i]);
        }
        const char kind = group % 2 == 0 ? 'p' : 's';
        SendCommand(protocol::BuildCodeFrame(kind, static_cast<int>(group / 2) + 1, bytes));
      }
      WaitForReply();
    }
    ReplyBuffer.clear();
    AwaitingReply = false;
  });
}

}  // namespace tkr::link
