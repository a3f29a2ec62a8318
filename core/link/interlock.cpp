// The RTS/CTS interlock of the handshake toggles, and the order of clicks it lets through.
#include <algorithm>

#include "core/link/module1.h"

namespace tkr::link {

bool InterlockLets(Toggle toggle, int rts, int cts) {
  const auto isValue = [](int v) { return v == 0 || v == 1; };
  if (toggle == Toggle::CTS) return rts == 1 && isValue(cts);
  if (toggle == Toggle::RTS) return cts == 0 && isValue(rts);
  return true;
}

std::optional<std::vector<Toggle>> PlanHandshake(int rts, int cts, int wantRts, int wantCts) {
  std::vector<Toggle> clicks;
  if (rts != wantRts) clicks.push_back(Toggle::RTS);
  if (cts != wantCts) clicks.push_back(Toggle::CTS);
  // At most two clicks: try RTS first, then CTS first.
  do {
    int r = rts, c = cts;
    const bool letThrough = std::all_of(clicks.begin(), clicks.end(), [&](Toggle t) {
      (t == Toggle::RTS ? r : c) = t == Toggle::RTS ? wantRts : wantCts;
      return InterlockLets(t, r, c);
    });
    if (letThrough) return clicks;
  } while (std::next_permutation(clicks.begin(), clicks.end(), [](Toggle a, Toggle b) {
    return a == Toggle::RTS && b == Toggle::CTS;
  }));
  return std::nullopt;
}

}  // namespace tkr::link
