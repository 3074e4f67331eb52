#include <gtest/gtest.h>

#include <string>

#include "filestamp.h"
#include "messages.h"
#include "tempdir.h"

namespace {

TFileStamp Stamp(bool exists, uint64_t size, uint64_t hash) {
  TFileStamp s;
  s.Exists = exists;
  s.Size = size;
  s.Hash = hash;
  return s;
}

}  // namespace

TEST(FileStamp, HashIsFnv1a64) {
  EXPECT_EQ(ContentHash(nullptr, 0), 0xcbf29ce484222325ULL);
  const std::string a = "a";
  EXPECT_EQ(ContentHash(reinterpret_cast<const uint8_t*>(a.data()), a.size()),
            0xaf63dc4c8601ec8cULL);
  const std::string foobar = "foobar";
  EXPECT_EQ(ContentHash(reinterpret_cast<const uint8_t*>(foobar.data()), foobar.size()),
            0x85944171f73967e8ULL);
}

TEST(FileStamp, StampFollowsTheContentNotTheTime) {
  TTempDir dir;
  const std::string path = dir.Write("a.kiv", "first version");
  const TFileStamp first = StampOfFile(path);
  EXPECT_TRUE(first.Exists);
  EXPECT_EQ(first.Size, 13u);
  // The same bytes written again: nothing someone else wrote would be lost.
  dir.Write("a.kiv", "first version");
  EXPECT_FALSE(ChangedOnDisk(first, StampOfFile(path)));
  // Same size, other bytes: what a share's coarse times could hide.
  dir.Write("a.kiv", "first VERSION");
  const TFileStamp other = StampOfFile(path);
  EXPECT_EQ(other.Size, first.Size);
  EXPECT_TRUE(ChangedOnDisk(first, other));
  EXPECT_FALSE(StampOfFile(dir.File("none.kiv")).Exists);
  EXPECT_FALSE(StampOfFile(dir.Path()).Exists);  // a folder is no file
}

TEST(FileStamp, WhatCountsAsChanged) {
  struct Case {
    const char* what;
    TFileStamp recorded, now;
    bool changed;
  };
  const Case cases[] = {
      {"unchanged", Stamp(true, 10, 7), Stamp(true, 10, 7), false},
      {"other size", Stamp(true, 10, 7), Stamp(true, 11, 7), true},
      {"other bytes", Stamp(true, 10, 7), Stamp(true, 10, 8), true},
      {"gone since", Stamp(true, 10, 7), Stamp(false, 0, 0), false},
      {"appeared where none was", Stamp(false, 0, 0), Stamp(true, 10, 7), true},
      {"never there", Stamp(false, 0, 0), Stamp(false, 0, 0), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChangedOnDisk(c.recorded, c.now), c.changed) << c.what;
  }
}

TEST(Messages, RecordedQuestionsNameTheirButtonsAndTheDefault) {
  TRecordingMessages m;
  m.answers = {MsgAnswer::Yes};
  EXPECT_EQ(m.Ask(MsgIcon::Warning, "t", "plain", MsgButtons::YesNoCancel), MsgAnswer::Yes);
  EXPECT_EQ(m.AskWithDefault(MsgIcon::Warning, "t", "write?", MsgButtons::YesNo, MsgAnswer::No),
            MsgAnswer::Cancel);
  m.choices = {1};
  EXPECT_EQ(m.Choose(MsgIcon::Warning, "t", "which?", {"A", "B", "C"}, 2, 0), 1);
  EXPECT_EQ(m.Choose(MsgIcon::Warning, "t", "again?", {"A", "B", "C"}, 2, 0), 0);  // the escape
  ASSERT_EQ(m.asked.size(), 4u);
  EXPECT_EQ(m.asked[0].buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
  EXPECT_EQ(m.asked[0].enterButton, "Yes");
  EXPECT_EQ(m.asked[1].buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(m.asked[1].enterButton, "No");
  EXPECT_EQ(m.asked[2].enterButton, "C");
  EXPECT_EQ(m.asked[3].text, "again?");
}

// A service that knows no default button or named answers still answers safely.
TEST(Messages, ServicesWithoutTheNewQuestionsFallBack) {
  class TOnlyAsk : public IMessageService {
   public:
    void Show(MsgIcon, const std::string&, const std::string&) override {}
    MsgAnswer Ask(MsgIcon, const std::string&, const std::string&, MsgButtons) override {
      ++asks;
      return MsgAnswer::No;
    }
    int asks = 0;
  } service;
  EXPECT_EQ(service.AskWithDefault(MsgIcon::Warning, "t", "x", MsgButtons::YesNo, MsgAnswer::No),
            MsgAnswer::No);
  EXPECT_EQ(service.asks, 1);
  EXPECT_EQ(service.Choose(MsgIcon::Warning, "t", "x", {"Overwrite", "Cancel"}, 0, 1), 1);
  // Without a service installed, a question goes to standard error and gets the escape.
  TScopedMessageService none(nullptr);
  EXPECT_EQ(Messages().Choose(MsgIcon::Warning, "t", "x", {"Keep", "Take"}, 1, 0), 0);
}
