#include <gtest/gtest.h>

#include <cstring>

#include "eventtables.h"
#include "kivbase.h"
#include "kivdate.h"
#include "tempdir.h"
#include "tracelines.h"

namespace {

TEST(KivBase, NewObjectHasDefaultImage) {
  double before = NowDays();
  TKiv kiv;
  const uint8_t* img = kiv.Image();
  EXPECT_EQ(kiv.ImageSize(), 20486u);
  EXPECT_EQ(std::memcmp(img, "KIVS-0\0", 7), 0);
  TReadOptions o = kiv.GetReadOptions();
  EXPECT_EQ(o.SlaveNo, 31);
  EXPECT_EQ(o.ReadZestaw1 + o.ReadZestaw2 + o.ReadEventRegister + o.CorrectIOTimes, 4);
  EXPECT_EQ(o.ShowAllEvents, 0);
  EXPECT_EQ(kiv.VersionMajor(), 4);
  EXPECT_EQ(kiv.VersionMinor(), 0);
  EXPECT_GE(kiv.CreateDate(), before - 1.0 / 86400);
  EXPECT_EQ(kiv.EventsReadDate(), 0.0);
  EXPECT_FALSE(kiv.Modified);
  EXPECT_TRUE(kiv.TraceMessages);
  EXPECT_EQ(kiv.GetKivType(), kivtUnknown);
  EXPECT_EQ(kiv.EventDefs.size(), 40192u);
  // Little-endian numbers at their offsets.
  kiv.SetEventBufferLength(0x1234);
  EXPECT_EQ(img[4096], 0x34);
  EXPECT_EQ(img[4097], 0x12);
  kiv.SetZestaw2Length(512);
  EXPECT_EQ(img[19972], 0x00);
  EXPECT_EQ(img[19973], 0x02);
  kiv.SetEventsReadDate(1.5);
  double d;
  std::memcpy(&d, img + 316, 8);
  EXPECT_EQ(d, 1.5);
}

TEST(KivBase, IdentificationNameAndType) {
  TKiv kiv;
  struct {
    const char* ident;
    const char* name;
    TKivType type;
  } rows[] = {
      {"", "", kivtUnknown},   {"1234ABCD", "1234_ABCD", kivtKivs2}, {"ABC", "A_B", kivtUnknown},
      {"X", "_", kivtUnknown}, {"K3V1.0", "K3V_1.0", kivtKivs3},
  };
  for (const auto& r : rows) {
    kiv.SetIdentification(r.ident);
    EXPECT_EQ(kiv.IdentificationName(), r.name) << r.ident;
    EXPECT_EQ(kiv.GetKivType(), r.type) << r.ident;
  }
  // A short name leaves the type to the tag character.
  kiv.SetIdentification("X");
  kiv.SetKivType(kivtKivs3);
  EXPECT_EQ(kiv.GetKivType(), kivtKivs3);
  // Texts keep their first 99 characters.
  kiv.SetStationInfo(std::string(150, 'S'));
  EXPECT_EQ(kiv.StationInfo(), std::string(99, 'S'));
  EXPECT_EQ(kiv.Image()[40 + 99], 0);
  // Polish letters are Windows-1250 bytes in the image, UTF-8 in the program.
  kiv.SetStationInfo("Rozdzielnia Łódź");
  EXPECT_EQ(kiv.StationInfo(), "Rozdzielnia Łódź");
  EXPECT_EQ(kiv.Image()[40 + 12], 0xA3);
}

TEST(KivBase, SetKivTypeCopiesTablesAndLoadsDefinitions) {
  TTempDir dir;
  dir.Write("kivs2.SET", "[GLOBAL]\nZNS_SIZE=100\n");
  dir.Write("Kivs3.set", "[GLOBAL]\nZNS_SIZE=90\n");
  dir.Write("1234_ABCD.set", "[GLOBAL]\nZNS_SIZE=80\n");
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  kiv.SetKivType(kivtKivs2);
  EXPECT_EQ(std::memcmp(kiv.Image(), "KIVS-2\0", 7), 0);
  EXPECT_EQ(std::memcmp(kiv.EventDefs.data(), Kivs2EventDefs().data(), kEventDefsBytes), 0);
  EXPECT_EQ(kiv.Defs.ZnsSize, 100);  // found although its case differs
  kiv.SetKivType(kivtKivs3);
  EXPECT_EQ(std::memcmp(kiv.EventDefs.data(), Kivs3EventDefs().data(), kEventDefsBytes), 0);
  EXPECT_EQ(kiv.Defs.ZnsSize, 90);
  kiv.SetIdentification("1234ABCD");
  kiv.SetKivType(kiv.GetKivType());
  EXPECT_EQ(kiv.Defs.ZnsSize, 80);
  kiv.SetKivType(kivtUnknown);
  EXPECT_EQ(kiv.Image()[5], '0');
  EXPECT_EQ(kiv.EventDefs, std::vector<uint8_t>(kEventDefsBytes, 0));
  EXPECT_EQ(kiv.Defs.ZnsSize, 80);  // the unknown type loads nothing
}

TEST(KivBase, DeviceNamedDefinitionFileCannotEscapeDirectory) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("defs"));
  dir.Write("_evi.set", "[GLOBAL]\nZNS_SIZE=7\n");
  TKiv kiv;
  kiv.DefsDir = dir.File("defs");
  kiv.SetIdentification("../evil");  // its name "../_evi" would point outside DefsDir
  ASSERT_EQ(kiv.IdentificationName(), "../_evi");
  kiv.LoadDefinitions();
  EXPECT_EQ(kiv.Defs.LoadedFile, "");
  EXPECT_EQ(kiv.Defs.ZnsSize, 0);
}

TEST(KivBase, MissingTypeFileGivesDefaults) {
  TTempDir dir;
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  kiv.SetKivType(kivtKivs2);
  EXPECT_EQ(kiv.Defs.ZnsSize, 119);
  EXPECT_EQ(kiv.Defs.Zns1Adres, 2177);
  EXPECT_EQ(kiv.Defs.EvBufLastReg, 4032);
}

TEST(KivBase, ReadOptionsModifiedOnlyBySlaveNumber) {
  TKiv kiv;
  TReadOptions o = kiv.GetReadOptions();
  o.ShowAllEvents = 1;
  o.ReadZestaw1 = 0;
  kiv.SetReadOptions(o);
  EXPECT_FALSE(kiv.Modified);
  EXPECT_EQ(kiv.GetReadOptions().ShowAllEvents, 1);
  o.SlaveNo = 7;
  kiv.SetReadOptions(o);
  EXPECT_TRUE(kiv.Modified);
  EXPECT_EQ(kiv.Image()[10], 7);
}

TEST(KivBase, TraceTrimsLongListsAndDropsLast) {
  TKiv kiv;
  kiv.Trace("nowhere");  // no list: nothing happens
  TStringTraceList list;
  kiv.SetTraceList(&list);
  for (int i = 0; i < 2001; ++i) list.Append("old " + std::to_string(i));
  kiv.Trace("new");
  ASSERT_EQ(list.Count(), 1000);
  EXPECT_EQ(First(list.lines), "old 1002");
  EXPECT_EQ(FromEnd(list.lines), "new");
  kiv.DropLastTrace();
  EXPECT_EQ(FromEnd(list.lines), "old 2000");
  // Exactly 2000 lines are not trimmed.
  list.lines.assign(2000, "x");
  kiv.Trace("y");
  EXPECT_EQ(list.Count(), 2001);
}

TEST(KivBase, EndMarkerWalk) {
  TKiv kiv;
  kiv.SetKivType(kivtKivs2);
  // 0x00 is a 3-byte event; 0xF0 is the variable-length jump whose count 127 ends a buffer.
  const uint8_t marker[] = {0x00, 0, 1, 0xF0, 127, 0, 0};
  EXPECT_TRUE(kiv.EndMarkerFound(marker, sizeof marker));
  // The marker must lie before the last byte of the data.
  EXPECT_FALSE(kiv.EndMarkerFound(marker, 5));
  const uint8_t jump[] = {0xF0, 2, 9, 9, 0x00, 0, 1, 0x00, 0, 1};
  EXPECT_FALSE(kiv.EndMarkerFound(jump, sizeof jump));
  const uint8_t undefined[] = {0x00, 0, 1, 0x02, 0, 0};  // code 2 is not defined
  EXPECT_TRUE(kiv.EndMarkerFound(undefined, sizeof undefined));
  EXPECT_FALSE(kiv.EndMarkerFound(undefined, 0));
}

}  // namespace
