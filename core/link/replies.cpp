// Turning the reader's answers into what the operator sees.
#include "core/protocol/replies.h"

#include "core/link/module1.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

void Module1::InterpretReply(bool replyExpected, bool cardTypeRequested) {
  if (ReplyStatusEnabled) {
    SetStatusPanel(4, "");
    if (replyExpected) {
      if (const auto status = protocol::StatusText(ReplyBuffer)) {
        SetStatusPanel(4, Bytes(*status));
      } else if (cardTypeRequested && protocol::PassesCardTypeGate(ReplyBuffer)) {
        if (const auto type = protocol::CardTypeFor(ReplyBuffer)) {
          SetStatusPanel(4, Bytes(type->panel));
          view_.CardTypeLabel->setCaption(Bytes(type->caption));
        }
        CardTypeRequested = false;
      } else if (legacy() && !cardTypeRequested) {
        // The legacy edition logs an unrecognised reply a second time.
        AppendMonitorHeader(protocol::kHeaderFromReader);
        AppendMonitor(ReplyBuffer);
      }
    }
  }
  AwaitingReply = false;
  ShowReady();
}

void Module1::FetchCardData() {
  ActionScope action(*this);
  AwaitingReply = true;
  FetchingCardData = true;
  SendCommand("T");
  WaitForReply();
  CardFetch fetched{last_, {}};
  if (protocol::PassesCardTypeGate(ReplyBuffer)) {
    if (const auto type = protocol::CardTypeFor(ReplyBuffer)) {
      view_.CardTypeLabel->setCaption(Bytes(type->fetchCaption));
    }
  }
  ReplyBuffer.clear();
  AwaitingReply = false;
  ReplyReceived = false;

  struct TrackRequest {
    bool& pending;
    const char* command;
    Control* box;
  };
  const TrackRequest tracks[] = {{Track1Pending, "Q", view_.Track1TextBox},
                                 {Track2Pending, "R", view_.Track2TextBox},
                                 {Track3Pending, "S", view_.Track3TextBox}};
  for (std::size_t t = 0; t < std::size(tracks); ++t) {
    const auto& track = tracks[t];
    if (!track.pending) continue;
    AwaitingReply = false;
    FlushInput();
    SendCommand(track.command);
    WaitForReply();
    fetched.tracks[t] = last_;
    const Bytes reply = ReplyBuffer;
    track.pending = false;
    ReplyReceived = false;
    track.box->setCaption(reply == "+" ? "No Data" : reply == "*" ? "Error" : reply);
    ReplyBuffer.clear();
  }
  FetchingCardData = false;
  AwaitingReply = false;
  if (events_.cardFetched) events_.cardFetched(fetched);
}

void Module1::RefreshConfigView() {
  ReplyBuffer.clear();
  ReplyStatusEnabled = false;
  AwaitingReply = true;
  ReplyReceived = false;
  SendCommand(CommandTable[protocol::Cmd::RE1]);
  WaitForReply();
  for (const auto& update : protocol::DecodeConfigStatus(ReplyBuffer)) {
    for (const ConfigControls& c : kConfigControls) {
      if (c.item != update.item) continue;
      (view_.*c.label)->setCaption(Bytes(update.caption));
      // A changed value raises the box's click, which only recolours while RefreshingView.
      if (RefreshingView && c.box && update.boxValue) (view_.*c.box)->setValue(*update.boxValue);
    }
  }
  ReplyBuffer.clear();
  ReplyStatusEnabled = true;
}

void Module1::FlushInput() {
  p_.MSComm1.discardInput();
}

}  // namespace tkr::link
