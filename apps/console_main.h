#pragma once
// The one entry point of both programs; they differ only in their edition and name.
#include <string>
#include <vector>

#include "core/link/edition.h"
#include "platform/qt/port_map.h"

namespace tkr::console {
class QtForms;
}
namespace tkr::platform::qt {
class QtSerialPort;
}

namespace tkr::apps {

struct Options {
  std::vector<platform::qt::PortOption> ports;
  bool systemPorts = true;
  bool simulate = false;
  bool demo = false;
  bool trace = false;
  bool help = false;
  bool version = false;
  bool listPorts = false;
  std::string screenshot;
};

struct ParsedOptions {
  Options options;
  std::string error;  // one line; empty when the command line is good
};

// The program's own arguments (without the program name and Qt's options).
ParsedOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText(const char* programName);

// The reader's icon on every window of the application: the main window and the dialogs.
void SetWindowIcon();

// A device plugged in since start-up gets its number when a detection starts or the port
// dialog opens, before either shows; numbers already given stay.
void RefreshPortsBeforeShowing(console::QtForms& forms, platform::qt::QtSerialPort& serial);

int RunConsole(int argc, char** argv, Edition edition, const char* programName);

}  // namespace tkr::apps
