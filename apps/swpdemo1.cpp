// SWPDEMO1: the legacy edition of the console.
#include "apps/console_main.h"

int main(int argc, char** argv) {
  return tkr::apps::RunConsole(argc, argv, tkr::Edition::Legacy, "SWPDEMO1");
}
