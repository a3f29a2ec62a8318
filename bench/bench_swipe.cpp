// A swipe of a full three-track card, from the reader's first byte on the line to the last
// track box filled, on the real Qt platform against the simulated reader on a pseudo-terminal.
#include "bench/bench_util.h"
#include "sim/pty_reader.h"
#include "sim/reader_model.h"

namespace {

using namespace bench;

// A box that notes when it is first given a non-empty caption.
class StampedControl : public pf::FakeControl {
 public:
  void setCaption(const tkr::Bytes& text) override {
    pf::FakeControl::setCaption(text);
    if (!text.empty() && !stamped) {
      stamped = true;
      at = Clock::now();
    }
  }
  void reset() {
    stamped = false;
    pf::FakeControl::setCaption("");
  }
  bool stamped = false;
  Clock::time_point at{};
};

}  // namespace

int main(int argc, char** argv) {
  auto app = MakeApp(argc, argv);
  Title("bench_swipe",
        "swipe of the sample ISO card: first byte on the line to Track3TextBox filled (5 runs)");

  const tkr::sim::Card& card = tkr::sim::SampleCards().front();
  std::unique_ptr<tkr::sim::PtyReader> reader;
  try {
    reader = std::make_unique<tkr::sim::PtyReader>();
  } catch (const std::exception& e) {
    CannotRun(std::string("pseudo-terminal reader: ") + e.what());
  }
  pq::PortMap map;
  map.assign(1, reader->path());
  QtRig rig(std::move(map));
  StampedControl cardType, track1, track2, track3;
  tkr::link::MainView v = rig.w.view();
  v.CardTypeLabel = &cardType;
  v.Track1TextBox = &track1;
  v.Track2TextBox = &track2;
  v.Track3TextBox = &track3;
  tkr::link::Module1& m = rig.start(v);
  rig.w.FWLabel.setCaption("TKR510V1");  // a found reader: waits end in "Ready"
  m.OpenPort(1, "9600,n,8,1", false);
  if (!m.serial().portOpen())
    CannotRun("COM1 did not open: " + rig.serial.lastError().toStdString());
  // One exchange first, so the reader knows the host is there (it drops a swipe otherwise).
  m.AwaitingReply = true;
  m.SendCommand("9");
  m.WaitForReply();

  // The protocol minimum from the reader model's own answers.
  tkr::sim::ReaderModel model;
  const std::size_t swipeLen = model.swipe(card).size();
  const double replyDelayMs = 2.0;  // PtyReader's default
  const double swipeMs = static_cast<double>(swipeLen) * kCharMs +
                         tkr::link::Module1::kQuietTimeMs + tkr::link::Module1::kFetchDelayMs;
  Figure("protocol minimum", "swipe data " + std::to_string(swipeLen) +
                                 Fmt(" B (%.2f ms)", static_cast<double>(swipeLen) * kCharMs) +
                                 Fmt(" + 100 ms quiet + 10 ms Timer3 = %.2f ms", swipeMs));
  double minimum = swipeMs;
  double segMin[4];
  const char* cmds[] = {"T", "Q", "R", "S"};
  for (int i = 0; i < 4; ++i) {
    const auto replies = model.hostWrote(cmds[i]);
    const std::size_t len = replies.empty() ? 0 : replies.back().bytes.size();
    segMin[i] = kCharMs + replyDelayMs + static_cast<double>(len) * kCharMs +
                tkr::link::Module1::kQuietTimeMs;
    minimum += segMin[i];
    Figure(std::string("  \"") + cmds[i] + "\"",
           Fmt("1 B (%.2f ms) + 2 ms + ", kCharMs) + std::to_string(len) +
               Fmt(" B (%.2f ms)", static_cast<double>(len) * kCharMs) +
               Fmt(" + 100 ms = %.2f ms", segMin[i]));
  }
  segMin[0] += swipeMs;
  Figure("protocol minimum total", Fmt("%.1f ms", minimum));

  std::vector<double> totals;
  std::vector<double> seg[4];
  bool correct = true;
  for (int run = 1; run <= 5; ++run) {
    for (StampedControl* c : {&cardType, &track1, &track2, &track3}) c->reset();
    m.AwaitingReply = false;
    const auto t0 = Clock::now();
    reader->swipe(card);
    if (!QtRig::pumpUntil([&] { return track3.stamped; }, 10000))
      CannotRun("Track3TextBox was not filled within 10 s");
    const double total = Ms(track3.at - t0);
    totals.push_back(total);
    const Clock::time_point marks[] = {t0, cardType.at, track1.at, track2.at, track3.at};
    std::string parts;
    for (int i = 0; i < 4; ++i) {
      seg[i].push_back(Ms(marks[i + 1] - marks[i]));
      parts += std::string(i ? ", " : "") + (i ? cmds[i] : "swipe+T") + Fmt(" %.1f", seg[i].back());
    }
    for (int t = 0; t < 3; ++t) {
      const StampedControl* box = t == 0 ? &track1 : t == 1 ? &track2 : &track3;
      correct = correct && box->caption() == model.trackText(t);
    }
    Figure("run " + std::to_string(run), Fmt("%.1f ms", total) + " (" + parts + " ms)");
    QtRig::pumpUntil([] { return false; }, 200);  // the line at rest between swipes
  }
  const double med = Median(totals);
  Figure("median per segment vs its minimum",
         Fmt("swipe+T %.1f", Median(seg[0])) + Fmt("/%.1f", segMin[0]) +
             Fmt(", Q %.1f", Median(seg[1])) + Fmt("/%.1f", segMin[1]) +
             Fmt(", R %.1f", Median(seg[2])) + Fmt("/%.1f", segMin[2]) +
             Fmt(", S %.1f", Median(seg[3])) + Fmt("/%.1f ms", segMin[3]));
  Verdict("bench_swipe", "track boxes hold the card's tracks", correct ? "yes" : "no", "yes",
          correct);
  Verdict("bench_swipe", "median swipe to last track box", Fmt("%.1f ms", med),
          Fmt("within 10 %% of %.1f ms", minimum) + Fmt(" (<= %.1f ms)", minimum * 1.1),
          med <= minimum * 1.1);
  return 0;
}
