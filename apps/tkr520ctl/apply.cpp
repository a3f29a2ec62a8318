#include "apps/tkr520ctl/apply.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>

#include "core/protocol/frames.h"
#include "core/protocol/replies.h"

namespace tkr::ctl {
namespace {

int gSignalPipe[2] = {-1, -1};
void OnSignal(int) {
  const char c = 1;
  (void)!write(gSignalPipe[1], &c, 1);
}

// The changes in the order they go out: RTS and CTS at the place of the first of them, in the
// order the interlock lets through from what the reader reports now (one that needs no click
// after them); nullopt with the refusal when no order gets there.
std::optional<std::vector<const Change*>> Order(link::Reader& reader,
                                                const std::vector<const Change*>& asked,
                                                std::string& refusal) {
  const Change* pair[2] = {nullptr, nullptr};  // rts, cts
  for (const Change* c : asked) {
    if (c->field->kind != FieldKind::Toggle) continue;
    if (c->field->toggle == link::Toggle::RTS) pair[0] = c;
    if (c->field->toggle == link::Toggle::CTS) pair[1] = c;
  }
  const int rts = reader.rts(), cts = reader.cts();
  const int wantRts = pair[0] ? pair[0]->value : rts, wantCts = pair[1] ? pair[1]->value : cts;
  const auto plan = link::PlanHandshake(rts, cts, wantRts, wantCts);
  if (!plan) {
    std::string named;
    for (const Change* c : pair) {
      if (c) named += (named.empty() ? "" : " ") + std::string(c->field->name) + "=" + c->text;
    }
    refusal =
        !rts && cts ? named +
                          ": the reader reports RTS off with CTS on, where the interlock changes "
                          "neither (CTS only while RTS is on, RTS only while CTS is off); run "
                          "defaults first"
        : pair[0] && wantRts != rts
            ? "rts=off: the reader's CTS is on, and RTS changes only while CTS is off; add cts=off"
            : "cts=on: the reader's RTS is off, and CTS changes only while RTS is on; add rts=on";
    return std::nullopt;
  }
  std::vector<const Change*> order;
  for (link::Toggle t : *plan) order.push_back(pair[t == link::Toggle::RTS ? 0 : 1]);
  for (const Change* c : pair) {
    if (c && std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }
  std::vector<const Change*> out;
  bool placed = false;
  for (const Change* c : asked) {
    if (c != pair[0] && c != pair[1]) {
      out.push_back(c);
    } else if (!placed) {
      placed = true;
      out.insert(out.end(), order.begin(), order.end());
    }
  }
  return out;
}

bool Acknowledged(const link::Exchange& e) {
  return e.result == link::ExchangeResult::Answered && e.reply == "^";
}

std::string AnswerText(const link::Exchange& e) {
  if (e.result != link::ExchangeResult::Answered) return "no acknowledgement";
  return std::string(protocol::StatusText(e.reply).value_or(e.reply));
}

}  // namespace

void CatchStopSignals(const std::function<void()>& onStop) {
  if (pipe(gSignalPipe) != 0) return;
  auto* notifier =
      new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [onStop] {
    char c;
    (void)!read(gSignalPipe[0], &c, 1);
    onStop();
  });
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, OnSignal);
}

std::string Reported(const link::ReaderSettings& s, const Field& f) {
  if (!f.item) return {};
  for (const auto& u : s.items) {
    if (u.item != *f.item) continue;
    if (u.boxValue) return *u.boxValue ? "on" : "off";
    return std::string(u.caption);
  }
  return {};
}

QJsonObject SettingsJson(const link::ReaderSettings& s) {
  QJsonObject o;
  if (s.items.empty()) return o;
  for (const Field& f : Fields()) {
    if (f.item) o[f.name] = QString::fromStdString(Reported(s, f));
  }
  return o;
}

std::vector<Comparison> Compare(const link::ReaderSettings& s, const std::vector<Change>& wanted) {
  std::vector<Comparison> out;
  for (const Change& c : wanted) {
    const std::string now = Reported(s, *c.field);
    out.push_back({&c, now, now.empty() || now != c.text});
  }
  return out;
}

bool Applied::changed() const {
  return std::any_of(verdicts.begin(), verdicts.end(), [](const Verdict& v) { return v.sent; });
}

bool Applied::acknowledgedOnly() const {
  return std::any_of(verdicts.begin(), verdicts.end(),
                     [](const Verdict& v) { return !v.verified; });
}

Applied Apply(link::Reader& reader, const std::vector<Change>& changes, bool onlyDiffering) {
  Applied a;
  a.before = a.after = reader.readerSettings();
  std::vector<const Change*> asked;
  for (const Comparison& c : Compare(a.before, changes)) {
    if (c.differs || !onlyDiffering) {
      asked.push_back(c.change);
    } else {
      a.verdicts.push_back({c.change, c.now, c.now, false, true, true});
    }
  }
  const auto order = Order(reader, asked, a.error);
  if (!order) {
    a.status = 2;
    return a;
  }
  // What goes out beyond the configuration read: a change was sent.
  const Bytes re1 = reader.module().CommandTable[protocol::Cmd::RE1];
  bool sent = false;
  auto forward = reader.onSent;
  reader.onSent = [&](const Bytes& command) {
    sent = sent || command != re1;
    if (forward) forward(command);
  };
  const auto verdict = [&](const Change& c, const std::string& reported, bool verified,
                           bool taken) {
    a.verdicts.push_back({&c, Reported(a.before, *c.field), reported, sent, verified, taken});
    sent = false;
  };
  // A toggle's or the protocol's verdict: the newest read-back, which a call without one
  // (tracks, codes, a box already showing the value) leaves as it was.
  const auto readBack = [&](const Change& c) {
    if (!reader.readerSettings().items.empty()) a.after = reader.readerSettings();
    const std::string got = Reported(a.after, *c.field);
    verdict(c, got.empty() ? "nothing" : got, true, got == c.text);
  };
  link::CodeSettings codes{};
  std::vector<const Change*> codeChanges;
  for (const Change* c : *order) {
    switch (c->field->kind) {
      case FieldKind::Toggle:
        a.outcome = reader.SetToggle(c->field->toggle, c->value != 0);
        if (a.outcome.ok()) readBack(*c);
        break;
      case FieldKind::Protocol:
        a.outcome = reader.SetProtocol(c->value);
        if (a.outcome.ok()) readBack(*c);
        break;
      case FieldKind::Tracks: {
        link::Exchange ack;
        a.outcome = reader.SetTracks(c->value, &ack);
        if (a.outcome.ok()) verdict(*c, AnswerText(ack), false, Acknowledged(ack));
        break;
      }
      case FieldKind::Code: {
        auto& g = codes[static_cast<std::size_t>(c->field->group)];
        g.useDefault = c->useDefault;
        g.boxes = c->boxes;
        codeChanges.push_back(c);
        break;
      }
    }
    if (!a.outcome.ok()) break;
  }
  if (a.outcome.ok() && !codeChanges.empty()) {
    std::vector<link::Exchange> acks;
    a.outcome = reader.SetCodes(codes, &acks);
    for (const Change* c : codeChanges) {
      if (!a.outcome.ok()) break;
      const auto group = static_cast<std::size_t>(c->field->group);
      const link::Exchange ack = group < acks.size() ? acks[group] : link::Exchange{};
      sent = true;  // the seven groups go out together
      verdict(*c, AnswerText(ack), false, Acknowledged(ack));
    }
  }
  reader.onSent = forward;
  std::stable_sort(a.verdicts.begin(), a.verdicts.end(),
                   [](const Verdict& x, const Verdict& y) { return x.change < y.change; });
  if (!a.outcome.ok()) {
    a.status = 1;
    a.error = a.outcome.reason;
    return a;
  }
  std::string notTaken;
  for (const Verdict& v : a.verdicts) {
    if (!v.taken) notTaken += (notTaken.empty() ? "" : " ") + std::string(v.change->field->name);
  }
  if (!notTaken.empty()) {
    a.status = 3;
    a.error = "the reader did not take " + notTaken;
  }
  return a;
}

}  // namespace tkr::ctl
