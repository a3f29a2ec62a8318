// The monitor log and the hand-over of unsolicited card data.
#include "core/link/module1.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

void Module1::AppendMonitor(const Bytes& data) {
  monitor_.append(protocol::HexDumpLine(data));
}

void Module1::AppendMonitorHeader(std::string_view header) {
  // Bytes of a cut reception still waiting for their line go first, so that a record written
  // now (a command sent into the stream) never stands before them.
  if (cut_.shown < cut_.rest.size()) ShowCutLine();
  monitor_.appendHeader(header);
}

void Module1::ClearTrackBoxes() {
  monitor_.clear();
  view_.Track1TextBox->setCaption("");
  view_.Track2TextBox->setCaption("");
  view_.Track3TextBox->setCaption("");
  SetStatusPanel(2, "");
  SetStatusPanel(4, "");
}

void Module1::HandleSwipeData() {
  CardDataArrived = false;
  ClearTrackBoxes();
  AppendMonitorHeader(protocol::kHeaderFromReader);
  AppendMonitor(ReplyBuffer);
  Track1Pending = true;
  Track2Pending = true;
  Track3Pending = true;
  ReplyReceived = false;
  CardDataArrived = true;
  ReplyBuffer.clear();
  // More bytes already arriving: the next complete reception schedules the fetch instead.
  if (!p_.Timer1.enabled()) {
    p_.Timer3.setEnabled(true);
    p_.Timer3.setInterval(kFetchDelayMs);
  } else {
    p_.Timer3.setEnabled(false);
  }
  ShowReady();
}

}  // namespace tkr::link
