#include <gtest/gtest.h>

#include <set>

#include "appconfig.h"

namespace {

TIniFile Ini(const std::string& text) {
  TIniFile ini;
  ini.LoadFromText(text);
  return ini;
}

}  // namespace

TEST(AppConfig, DefaultsWhenKeysAreMissing) {
  TAppConfig c = ReadAppConfig(Ini(""), "Kivsvc");
  EXPECT_FALSE(c.MBTCPComm);
  EXPECT_EQ(c.MBTCPIP, "127.0.0.1");
  EXPECT_EQ(c.MBTCPPort, 502);
  EXPECT_EQ(c.Port, DefaultPortName());
  EXPECT_EQ(c.Speed, 6);
  EXPECT_EQ(c.Time_Out, 500);
  EXPECT_EQ(c.TimeSilence, 300);
}

TEST(AppConfig, KeyRules) {
  TAppConfig c = ReadAppConfig(Ini("[Kivsvc]\nMBTCPComm=2\nMBTCPIP=192.168.100.200.extra\n"
                                   "MBTCPPort=70000\nPort=3\nSpeed=9\nTime_Out=abc\n"
                                   "TimeSilence=120ms\n"),
                               "Kivsvc");
  EXPECT_FALSE(c.MBTCPComm) << "only exactly 1 switches TCP on";
  EXPECT_EQ(c.MBTCPIP, "192.168.100.200") << "at most 15 characters";
  EXPECT_EQ(c.MBTCPPort, 70000 - 65536) << "stored as 16-bit unsigned";
  EXPECT_EQ(c.Port, NumberedPortName(3));
  EXPECT_EQ(c.Speed, 9);
  EXPECT_EQ(c.Time_Out, 0) << "a value not beginning with digits reads as 0";
  EXPECT_EQ(c.TimeSilence, 120) << "digits are read up to the first other character";

  EXPECT_TRUE(ReadAppConfig(Ini("[Kivsvc]\nMBTCPComm=1\n"), "Kivsvc").MBTCPComm);
  EXPECT_EQ(ReadAppConfig(Ini("[Kivsvc]\nPort=COM7\n"), "Kivsvc").Port, "COM7");
  EXPECT_EQ(ReadAppConfig(Ini("[Kivsvc]\nPort=/dev/ttyUSB0\n"), "Kivsvc").Port, "/dev/ttyUSB0");
  EXPECT_EQ(ReadAppConfig(Ini("[Kivsvc]\nPort=\n"), "Kivsvc").Port, "")
      << "present but empty: no port";
  EXPECT_EQ(ReadAppConfig(Ini("[Other]\nPort=COM7\n"), "Kivsvc").Port, DefaultPortName());
}

TEST(AppConfig, SpeedOutsideTheHandlersListReadsAs9600) {
  EXPECT_EQ(ReadAppConfig(Ini("[K]\nSpeed=12\n"), "K").Speed, 12);
  EXPECT_EQ(ReadAppConfig(Ini("[K]\nSpeed=13\n"), "K").Speed, 6);
  EXPECT_EQ(ReadAppConfig(Ini("[K]\nSpeed=-1\n"), "K").Speed, 6);
  // One byte: 256 + 3 is index 3.
  EXPECT_EQ(ReadAppConfig(Ini("[K]\nSpeed=259\n"), "K").Speed, 3);
}

TEST(AppConfig, WrittenInTableOrderAndReadBack) {
  TAppConfig c;
  c.MBTCPComm = true;
  c.MBTCPIP = "10.0.0.7";
  c.MBTCPPort = 1502;
  c.Port = "ttyUSB1";
  c.Speed = 12;
  c.Time_Out = 750;
  c.TimeSilence = 40;
  TIniFile ini;
  ini.LoadFromText("; user comment\n[Other]\nKeep=yes\n");
  WriteAppConfig(ini, "Kivsvc", c);
  std::string text = ini.ToText();
  const char* keys[] = {"MBTCPComm=1", "MBTCPIP=10.0.0.7", "MBTCPPort=1502", "Port=ttyUSB1",
                        "Speed=12",    "Time_Out=750",     "TimeSilence=40"};
  size_t at = 0;
  for (const char* k : keys) {
    size_t found = text.find(k, at);
    ASSERT_NE(found, std::string::npos) << k << " in\n" << text;
    at = found;
  }
  EXPECT_NE(text.find("Keep=yes"), std::string::npos);
  TIniFile back;
  back.LoadFromText(text);
  TAppConfig r = ReadAppConfig(back, "Kivsvc");
  EXPECT_TRUE(r.MBTCPComm);
  EXPECT_EQ(r.MBTCPIP, c.MBTCPIP);
  EXPECT_EQ(r.MBTCPPort, c.MBTCPPort);
  EXPECT_EQ(r.Port, c.Port);
  EXPECT_EQ(r.Speed, c.Speed);
  EXPECT_EQ(r.Time_Out, c.Time_Out);
  EXPECT_EQ(r.TimeSilence, c.TimeSilence);
}

TEST(AppConfig, EventsSplitReadBack) {
  TIniFile ini;
  EXPECT_TRUE(ReadEventsSplit(ini, "Kivsvc").empty());
  WriteEventsSplit(ini, "Kivsvc", {200, 300, 500});
  EXPECT_NE(ini.ToText().find("EventsSplit=200,300,500"), std::string::npos);
  EXPECT_EQ(ReadEventsSplit(ini, "Kivsvc"), (std::vector<int32_t>{200, 300, 500}));
  for (const char* bad :
       {"EventsSplit=1,,2", "EventsSplit=a,b,c", "EventsSplit=-1,2,3", "EventsSplit=99999999,1,1"})
    EXPECT_TRUE(ReadEventsSplit(Ini(std::string("[Kivsvc]\n") + bad + "\n"), "Kivsvc").empty())
        << bad;
}

TEST(AppConfig, SectionIsTheApplicationTitle) {
  EXPECT_EQ(ConfigSectionName("/usr/bin/kivsvc"), "kivsvc");
  EXPECT_EQ(ConfigSectionName("C:\\Prog\\KIVSVC.EXE"), "Kivsvc");
  EXPECT_EQ(ConfigSectionName("/opt/Kiv.Svc.bin"), "Kiv");
}

TEST(CommandLine, WalkKeepsOrderCaseAndStopsAtAMissingFile) {
  std::set<std::string> files = {"B.KIV", "dir/Other.kiv"};
  auto exists = [&](const std::string& n) { return files.count(n) > 0; };

  TCmdWalk w = WalkCommandLine({"B.KIV", "-Service"}, exists);
  ASSERT_EQ(w.actions.size(), 2u);
  EXPECT_EQ(w.actions[0].kind, TCmdAction::OpenFile);
  EXPECT_EQ(w.actions[0].arg, "B.KIV") << "file names keep their case";
  EXPECT_EQ(w.actions[1].kind, TCmdAction::ServiceOn);
  EXPECT_TRUE(w.params.empty());

  w = WalkCommandLine({"-BufFile", "Data/X.bin", "-kivtype", "KIVS3", "service"}, exists);
  EXPECT_EQ(w.params, "-buffile Data/X.bin -kivtype kivs3");
  ASSERT_EQ(w.actions.size(), 1u);
  EXPECT_EQ(w.actions[0].kind, TCmdAction::ServiceOn);

  w = WalkCommandLine({"-buffile", "x.bin", "missing.kiv", "dir/Other.kiv", "-h"}, exists);
  EXPECT_EQ(w.params, "-buffile x.bin") << "parameters before the missing file still count";
  EXPECT_EQ(w.missingFile, "missing.kiv");
  EXPECT_TRUE(w.actions.empty());

  w = WalkCommandLine({"dir/Other.kiv", "", "B.KIV"}, exists);
  ASSERT_EQ(w.actions.size(), 1u) << "an empty argument ends the walk";
}

TEST(CommandLine, WindowNameOfParameters) {
  EXPECT_EQ(ParamsWindowName("-buffile c:\\a.bin -zns1file c:\\b.bin"), "c:\\a.bin");
  EXPECT_EQ(ParamsWindowName("-buffile x.bin"), "x.bin");
  EXPECT_EQ(ParamsWindowName("-zns2file  Set.BIN  -kivtype kivs2"), "Set.BIN");
  EXPECT_EQ(ParamsWindowName("-kivtype kivs2"), "");
  EXPECT_EQ(ParamsWindowName("-buffile"), "");
  EXPECT_EQ(ParamsWindowName("-buffile /data/site-a/x.bin -kivtype kivs2"), "/data/site-a/x.bin");
}

TEST(NewFileNames, SkipExistingFilesAndContinueTheCounter) {
  std::set<std::string> files = {"File 1.kiv", "File 3.kiv"};
  auto exists = [&](const std::string& n) { return files.count(n) > 0; };
  uint16_t counter = 0;
  EXPECT_EQ(NextNewFileName(counter, exists), "File 2.kiv");
  EXPECT_EQ(NextNewFileName(counter, exists), "File 4.kiv");
  EXPECT_EQ(counter, 4);
}

TEST(XScale, TypingRules) {
  auto d = [](const char* t, bool item, bool sel) { return DecideXScale(t, item, sel); };
  EXPECT_EQ(d("", true, true).kind, TXScaleAction::Nothing);
  EXPECT_EQ(d("5", false, false).kind, TXScaleAction::Nothing) << "still typing";
  EXPECT_EQ(d("9", false, true).kind, TXScaleAction::Fit);
  EXPECT_EQ(d("10", false, true).scale, 10);
  EXPECT_EQ(d("50000", false, true).scale, 50000);
  EXPECT_EQ(d("50001", false, true).kind, TXScaleAction::Fit);
  EXPECT_EQ(d("Fit", true, false).kind, TXScaleAction::Fit);
  TXScaleAction a = d("75", true, false);
  EXPECT_EQ(a.kind, TXScaleAction::SetScale);
  EXPECT_EQ(a.scale, 75);
  EXPECT_EQ(d("12x", false, true).kind, TXScaleAction::Fit);
}
