#pragma once
// One option of a command line, shared by the console and tkr520ctl.
#include <cstddef>
#include <string>
#include <vector>

namespace tkr::apps {

// Takes "--name VALUE" or "--name=VALUE"; false when args[i] is not the option. A missing
// value leaves its message in error.
inline bool OptionValue(const std::vector<std::string>& args, std::size_t& i,
                        const std::string& name, std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    return true;
  }
  value = args[++i];
  return true;
}

}  // namespace tkr::apps
