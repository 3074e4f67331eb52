#include "messages.h"

#include <cstdio>

namespace {

class TStderrMessages : public IMessageService {
 public:
  void Show(MsgIcon, const std::string& title, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
  MsgAnswer Ask(MsgIcon, const std::string& title, const std::string& text,
                MsgButtons buttons) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
  }
};

TStderrMessages g_default;
IMessageService* g_service = nullptr;

}  // namespace

IMessageService& Messages() {
  return g_service ? *g_service : g_default;
}

IMessageService* SetMessageService(IMessageService* service) {
  IMessageService* previous = g_service;
  g_service = service;
  return previous;
}

void TRecordingMessages::Show(MsgIcon icon, const std::string& title, const std::string& text) {
  shown.push_back({icon, title, text});
}

MsgAnswer TRecordingMessages::Ask(MsgIcon icon, const std::string& title, const std::string& text,
                                  MsgButtons) {
  asked.push_back({icon, title, text});
  if (answers.empty()) return MsgAnswer::Cancel;
  MsgAnswer a = answers.front();
  answers.erase(answers.begin());
  return a;
}
