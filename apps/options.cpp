// The console's command line: the program's own arguments after Qt has taken its options.
#include <algorithm>
#include <iterator>

#include "apps/console_main.h"
#include "apps/option_value.h"

namespace tkr::apps {

namespace pq = platform::qt;

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  // Qt's own options, which QApplication takes out of the command line later; the ones in
  // the first list take a value.
  static const char* const kQtWithValue[] = {
      "-platform", "-platformpluginpath", "-platformtheme", "-plugin",      "-display",
      "-geometry", "-qwindowgeometry",    "-qwindowtitle",  "-qwindowicon", "-title",
      "-style",    "-stylesheet",         "-session",       "-name"};
  static const char* const kQtFlags[] = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};
  ParsedOptions out;
  Options& o = out.options;
  for (std::size_t i = 0; i < args.size() && out.error.empty(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    const std::string single = arg.rfind("--", 0) == 0 ? arg.substr(1) : arg;
    if (std::find(std::begin(kQtWithValue), std::end(kQtWithValue), single) !=
        std::end(kQtWithValue)) {
      ++i;
      continue;
    }
    if (std::find(std::begin(kQtFlags), std::end(kQtFlags), single) != std::end(kQtFlags)) continue;
    if (OptionValue(args, i, "--port", value, out.error)) {
      if (!out.error.empty()) break;
      const pq::PortOptionResult parsed = pq::ParsePortOption(value);
      if (!parsed.option) {
        out.error = "--port " + value + ": " + parsed.error;
        break;
      }
      o.ports.push_back(*parsed.option);
    } else if (OptionValue(args, i, "--screenshot", value, out.error)) {
      o.screenshot = value;
    } else if (arg == "--no-system-ports") {
      o.systemPorts = false;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg == "--demo") {
      o.demo = true;
    } else if (arg == "--trace") {
      o.trace = true;
    } else if (arg == "--list-ports") {
      o.listPorts = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else {
      out.error = "unknown argument " + arg;
    }
  }
  return out;
}

}  // namespace tkr::apps
