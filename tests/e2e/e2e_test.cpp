// The programs as built, for what only a real process shows: SWPDEMO2 against tkr520-sim on
// a pseudo-terminal, a second instance, the options that need no display, and the ends by a
// signal.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <set>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

// The suite runs as root, whom the kernel lets open any device and take anyone's lock: the
// cases where permissions matter run the program as nobody.
QStringList AsOrdinaryUser(const std::string& program, const QStringList& args) {
  QStringList command;
  if (::geteuid() == 0)
    command << "setpriv"
            << "--reuid=nobody"
            << "--regid=nogroup";
  if (::geteuid() == 0) command << "--clear-groups";
  return command << QString::fromStdString(program) << args;
}

// The simulated reader's folders (tkr520-sim.XXXXXX) of the user the programs run as.
std::set<QString> SimFolders(const QStringList& places) {
  const uid_t user = ::geteuid() == 0 ? ::getpwnam("nobody")->pw_uid : ::geteuid();
  std::set<QString> found;
  for (const QString& place : places) {
    for (const QFileInfo& f : QDir(place).entryInfoList({"tkr520-sim.*"}, QDir::Dirs))
      if (f.ownerId() == user) found.insert(f.filePath());
  }
  return found;
}

// The scan, the read-out and a swipe are the link tests', on the fake platform. Here the real
// program finds the reader over a real line, and a second instance under the same lock ends at
// once, silently, with no window. SWPDEMO1 starts through the same code.
TEST(EndToEnd, ASecondInstanceEndsSilently) {
  Sim sim;
  QTemporaryDir tmp;  // the single-instance lock lives there
  const std::map<std::string, std::string> env = {{"QT_QPA_PLATFORM", "offscreen"},
                                                  {"TMPDIR", tmp.path().toStdString()},
                                                  {"XDG_RUNTIME_DIR", tmp.path().toStdString()}};
  Process first(Binary("SWPDEMO2"), {"--no-system-ports", "--trace", "--port", "COM1=" + sim.path},
                env);
  const Process::Lines start = first.readUntil("READY", 60000);
  ASSERT_TRUE(start.found) << first.allOutput();
  EXPECT_EQ(ParseState(start.lines)["FWLabel"], "TKR510V1");
  Process second(Binary("SWPDEMO2"), {"--no-system-ports", "--trace"}, env);
  EXPECT_EQ(second.readLine(10000), "");
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.allOutput(), "");
}

// A console ended from outside (logout, kill, timeout, Ctrl-C) ends as its Exit button does:
// the port closed, no lock file and no folder of the simulated reader left behind; then it
// dies of the signal it was sent, as a shell expects.
TEST(EndToEnd, AStopSignalEndsTheConsoleAsItsExitButtonDoes) {
  struct Row {
    const char* name;
    int signal;
  };  // signal 0: the Exit button
  const Row rows[] = {{"Exit", 0}, {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir tmp;  // the lock lives there, and the simulated reader may
    const uid_t nobody = ::getpwnam("nobody")->pw_uid;
    const QByteArray folder = QFile::encodeName(tmp.path());
    ASSERT_TRUE(::geteuid() != 0 || ::chown(folder.constData(), nobody, -1) == 0);
    const QStringList places = {tmp.path()};  // the simulated reader's folder goes to TMPDIR
    const std::set<QString> before = SimFolders(places);
    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", tmp.path());
    env.insert("XDG_RUNTIME_DIR", tmp.path());
    console.setProcessEnvironment(env);
    const QStringList command =
        AsOrdinaryUser(Binary("SWPDEMO2"), {"--simulate", "--no-system-ports", "--trace"});
    console.start(command.front(), command.mid(1));
    QByteArray out;
    for (QDeadlineTimer deadline(60000); !out.contains("\nREADY\n") && !deadline.hasExpired();)
      if (console.waitForReadyRead(1000)) out += console.readAllStandardOutput();
    ASSERT_TRUE(out.contains("\nREADY\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("FWLabel=TKR510V1\n"));  // found the reader: the port is open
    ASSERT_TRUE(QFile::exists(tmp.filePath("SWPDEMO2.lock")));
    std::set<QString> running = SimFolders(places);
    for (const QString& f : before) running.erase(f);
    ASSERT_EQ(running.size(), 1u);

    if (row.signal == 0) console.write("click ExitButton\n");
    if (row.signal != 0) {
      EXPECT_TRUE(Signal(console, row.signal));
    }
    ASSERT_TRUE(console.waitForFinished(30000));
    EXPECT_EQ(console.exitStatus(), row.signal ? QProcess::CrashExit : QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), row.signal);  // after a crash, the signal's number
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
    EXPECT_FALSE(QFileInfo::exists(*running.begin()));
  }
}

// Why a device will not open, as an ordinary user sees it in the listing and in tkr520ctl's
// open error: the dialout hint only where joining the device's group would let them in.
TEST(CommandLineWithoutDisplay, APermissionRefusalNamesItsCure) {
  if (::geteuid() != 0) GTEST_SKIP() << "the devices' owners need root to set up";
  QTemporaryDir tmp;
  ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
  const auto groupId = [](const char* name) {  // getgrnam's entry is overwritten by the next
    const struct group* g = ::getgrnam(name);
    return g ? g->gr_gid : gid_t(-1);
  };
  const gid_t dialout = groupId("dialout"), tty = groupId("tty");
  const struct passwd* daemon = ::getpwnam("daemon");
  ASSERT_TRUE(dialout != gid_t(-1) && tty != gid_t(-1) && daemon);
  struct Device {
    const char* name;
    uid_t owner;
    gid_t group;
    mode_t mode;
  };
  const Device devices[] = {{"dialout-ttyS0", 0, dialout, 0660},
                            {"root-ttyS1", 0, 0, 0600},
                            {"daemon-pts", daemon->pw_uid, tty, 0620}};
  QStringList ports = {"--no-system-ports"};
  int com = 0;
  for (const Device& d : devices) {
    const QByteArray path = QFile::encodeName(tmp.filePath(d.name));
    ASSERT_EQ(::close(::creat(path.constData(), d.mode)), 0);
    ASSERT_EQ(::chown(path.constData(), d.owner, d.group), 0);
    ASSERT_EQ(::chmod(path.constData(), d.mode), 0);
    ports << "--port" << QStringLiteral("COM%1=%2").arg(++com).arg(QString::fromLatin1(path));
  }
  const std::string dir = tmp.path().toStdString() + "/";
  const std::string listing =
      "COM1  " + dir + "dialout-ttyS0  permission denied: add yourself to the dialout group" +
      " and log in again\n" + "COM2  " + dir +
      "root-ttyS1     permission denied: owner root, group root, mode 0600\n" + "COM3  " + dir +
      "daemon-pts     permission denied: owner daemon, group tty, mode 0620\n" + "COM4  -";
  struct Row {
    const char* program;
    QStringList args;
    int exitCode;
    std::string out, err;
  };
  const Row rows[] = {
      {"SWPDEMO2", QStringList{"--list-ports"} + ports, 0, listing, ""},
      {"tkr520ctl", ports + QStringList{"--com", "2", "status"}, 1, "",
       "COM2: permission denied: owner root, group root, mode 0600"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.program);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", tmp.path());
    p.setProcessEnvironment(env);
    const QStringList command = AsOrdinaryUser(Binary(row.program), row.args);
    p.start(command.front(), command.mid(1));
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), row.exitCode);
    const std::string out = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(out.rfind(row.out, 0), 0u) << out;
    EXPECT_NE(p.readAllStandardError().toStdString().find(row.err), std::string::npos);
  }
}

// Options that end a program before any window: they must work with no display at all.
TEST(CommandLineWithoutDisplay, HelpListAndMistakesNeedNoWindow) {
  struct Row {
    const char* program;
    QStringList args;
    int exitCode;
    const char *out, *err;
  };
  // The path after the port name may hold '=' itself.
  const QStringList none = {"--no-system-ports", "--port=COM2=/dev/tkr=none"};
  const char* listing = "COM1  -              -\nCOM2  /dev/tkr=none  missing\n";
  const Row rows[] = {
      {"SWPDEMO2", {"--help"}, 0, "Usage: SWPDEMO2 [options]\n", ""},
      {"SWPDEMO2", {"--bogus"}, 2, "", "SWPDEMO2: unknown argument --bogus (see --help)\n"},
      {"SWPDEMO2", QStringList{"--list-ports"} + none, 0, listing, ""},
      // tkr520ctl's ports listing is the console's, here in JSON.
      {"tkr520ctl", none + QStringList{"--json", "ports"}, 0,
       R"({"command":"ports","ports":[{"access":"-","description":null,"device":null,)", ""},
      {"tkr520-sim",
       {"--frobnicate"},
       2,
       "",
       "tkr520-sim: bad option '--frobnicate'; usage: tkr520-sim [--link PATH] [--config WORDS]... "
       "[--unplugged] [--no-stdin]\n                  [--version] [--help]\n"},
      // One version for every program.
      {"SWPDEMO2", {"--version"}, 0, "SWPDEMO2 " TKR_VERSION "\n", ""},
      {"SWPDEMO1", {"--version"}, 0, "SWPDEMO1 " TKR_VERSION "\n", ""},
      {"tkr520ctl", {"--version"}, 0, "tkr520ctl " TKR_VERSION "\n", ""},
      {"tkr520-sim", {"--version"}, 0, "tkr520-sim " TKR_VERSION "\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.join(' ').toStdString());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(Binary(row.program)), row.args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), row.exitCode);  // a crash gives the signal's number
    const std::string out = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(out.rfind(row.out, 0), 0u) << out;
    EXPECT_EQ(p.readAllStandardError().toStdString(), row.err);
  }
}

}  // namespace
}  // namespace tkr::e2e
