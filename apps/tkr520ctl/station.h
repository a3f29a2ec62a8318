#pragma once
// `tkr520ctl station PROFILE`: a bench where a technician plugs in one reader after another.
// Each reader that appears on a served port is detected as the console's start-up detection
// finds it, gets the profile with read-back verification and one line of result; the port
// then waits for that reader to be unplugged, so one plug is configured once.
#include <string>
#include <vector>

#include "apps/tkr520ctl/ctl_args.h"

namespace tkr::ctl {

struct StationProfile {
  std::string file;  // as named on the command line
  std::string text;  // its content, hashed into the log
  std::vector<Change> changes;
};

// Serves until Ctrl-C (or SIGTERM, a hang-up), then prints the summary: 0 when every reader
// was ok, 3 when one was not, 1 when the log could not be written.
int RunStation(const Options& o, const StationProfile& profile);

}  // namespace tkr::ctl
