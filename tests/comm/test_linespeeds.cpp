// Readings and parset writes over a serial line with real timing: kivsim counts each
// request as received after its wire time, answers after the device's latency and sends
// its reply one character time per character, through a socat pseudo-terminal pair. The
// program runs with the default Time_Out 500 and TimeSilence 300. Low speeds read a small
// events buffer (two blocks and the end), fast ones four blocks.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstring>
#include <string>
#include <vector>

#include "../core/tracelines.h"
#include "simprocess.h"

namespace {

struct LineRig {
  LineRig(int baud, const QStringList& simArgs, int eventBytes)
      : sim(true,
            QStringList{"--line-timing", "--max-events", QString::number(eventBytes)} + simArgs,
            baud) {
    han.CommPort = sim.Dev();
    for (int r = 0; r < kBaudRateCount; ++r)
      if (BaudRateValue(static_cast<TBaudRate>(r)) == baud)
        han.BaudRate = static_cast<TBaudRate>(r);
    han.Open();
    settings.SerialPort = &han;
    settings.Waiter = &waiter;
    kiv.DefsDir = DEFS_DIR;
    kiv.SetTraceList(&trace);
    kiv.TraceMessages = false;
  }
  std::string Trace() {
    std::string text;
    for (const std::string& l : trace.lines) text += l + "\n";
    return text + sim.Output().toStdString();
  }

  SimProcess sim;
  TRsdHan han;
  TQtWaiter waiter;
  TKiv kiv;
  TStringTraceList trace;
  TCommSettings settings;  // Time_Out 500, TimeSilence 300
  TKivComm comm{kiv, settings};
};

// A whole reading, then parset 1 written back in changed form and read back.
void ReadWriteReadBack(int baud, int latencyMs) {
  const int events = baud >= 19200 ? 1000 : 300;
  LineRig rig(baud, {"--latency", QString::number(latencyMs)}, events);
  ASSERT_TRUE(rig.sim.Ok() && rig.han.Active()) << "kivsim or socat did not start";
  // Below 9600 baud a parset takes seconds on the wire: parset 2 adds nothing parset 1
  // does not prove.
  TReadOptions options = rig.kiv.GetReadOptions();
  options.ReadZestaw2 = baud >= 9600 ? 1 : 0;
  rig.kiv.SetReadOptions(options);
  rig.comm.ReadAll();
  ASSERT_FALSE(rig.kiv.Error) << rig.Trace();
  ASSERT_EQ(rig.kiv.EventBufferLength(), events);
  const int size = rig.kiv.Defs.ZnsSize;
  ASSERT_EQ(rig.kiv.Zestaw1Length(), 2 * size);
  ASSERT_EQ(rig.kiv.Zestaw2Length(), baud >= 9600 ? 2 * size : 0);

  for (int i = 0; i < 2 * size; ++i) rig.kiv.Zestaw1()[i] ^= static_cast<uint8_t>(0x5A + i);
  rig.trace.lines.clear();
  rig.comm.WriteZestaw(1, 1);
  ASSERT_EQ(FromEnd(rig.trace.lines), "Save of parset1: OK") << rig.Trace();
  std::vector<uint8_t> back(512);
  ASSERT_EQ(rig.comm.ReadZestawCopy(1, back.data(), 512), 2 * size) << rig.Trace();
  EXPECT_EQ(0, std::memcmp(back.data(), rig.kiv.Zestaw1(), static_cast<size_t>(2 * size)));
}

}  // namespace

// One test per speed and latency, so that CTest runs them side by side.
#define LINE_CASE(baud, latency)                  \
  TEST(LineSpeed, Baud##baud##Latency##latency) { \
    ReadWriteReadBack(baud, latency);             \
  }
LINE_CASE(1200, 5)
LINE_CASE(1200, 50)
LINE_CASE(1200, 400)
LINE_CASE(2400, 5)
LINE_CASE(2400, 50)
LINE_CASE(2400, 400)
LINE_CASE(4800, 5)
LINE_CASE(4800, 50)
LINE_CASE(4800, 400)
LINE_CASE(9600, 5)
LINE_CASE(9600, 50)
LINE_CASE(9600, 400)
LINE_CASE(19200, 5)
LINE_CASE(19200, 50)
LINE_CASE(19200, 400)
LINE_CASE(115200, 5)
LINE_CASE(115200, 50)
LINE_CASE(115200, 400)

// A two-wire adapter echoes every request; RS-485 drivers turning on leave a stray byte
// before or after a reply. None of it fails an intact frame.
static void IntactFramesPass(const QStringList& args) {
  LineRig rig(9600, args + QStringList{"--latency", "20"}, 300);
  ASSERT_TRUE(rig.sim.Ok() && rig.han.Active());
  rig.comm.ReadAll();
  EXPECT_FALSE(rig.kiv.Error) << rig.Trace();
  EXPECT_EQ(rig.kiv.EventBufferLength(), 300);
  rig.trace.lines.clear();
  rig.comm.WriteZestaw(2, 2);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Save of parset2: OK") << rig.Trace();
}
TEST(LineFaults, Echo) {
  IntactFramesPass({"--echo"});
}
TEST(LineFaults, StrayByteBefore) {
  IntactFramesPass({"--fault", "stray-before=0"});
}
TEST(LineFaults, StrayByteAfter) {
  IntactFramesPass({"--fault", "stray-after=255"});
}
TEST(LineFaults, EchoAndStrayBytesOnBothSides) {
  IntactFramesPass({"--echo", "--fault", "stray-before=255", "--fault", "stray-after=0"});
}

// The adapter pulled out: the port is closed and says so, the reason is traced, and once
// the port is back the next dialogue opens it again.
TEST(LineFaults, VanishedPort) {
  LineRig rig(115200, {}, 300);
  ASSERT_TRUE(rig.sim.Ok() && rig.han.Active());
  int shown = 0;
  rig.han.OnShowSt = [&] { ++shown; };
  rig.comm.Identify();
  ASSERT_FALSE(rig.kiv.Error) << rig.Trace();

  rig.sim.PullPort();
  rig.trace.lines.clear();
  QElapsedTimer clock;
  clock.start();
  rig.comm.ReadAll();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_LT(clock.elapsed(), 2000);
  ASSERT_GE(rig.trace.lines.size(), 2u) << rig.Trace();
  EXPECT_EQ(FromEnd(rig.trace.lines, 2), "TimeOut, cancel reading") << rig.Trace();
  EXPECT_EQ(FromEnd(rig.trace.lines).rfind("Serial port " + rig.sim.Dev() + " lost: ", 0), 0u)
      << rig.Trace();
  EXPECT_FALSE(rig.han.Active());
  EXPECT_EQ(rig.han.Status(), TRsdHan::kStatusCannotOpen);
  EXPECT_GE(shown, 1);

  // Still gone: the next dialogue tries to open it and says it cannot.
  rig.trace.lines.clear();
  rig.comm.Identify();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "Serial port " + rig.sim.Dev() + " cannot be opened");

  // Back (a new pair under the same name, a device on it): the next dialogue works.
  LineRig again(115200, {}, 300);
  ASSERT_TRUE(again.sim.Ok());
  rig.han.CommPort = again.sim.Dev();
  again.han.Close();
  rig.trace.lines.clear();
  rig.comm.ReadAll();
  EXPECT_FALSE(rig.kiv.Error) << rig.Trace();
  EXPECT_TRUE(rig.han.Active());
}
