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
  int Choose(MsgIcon, const std::string& title, const std::string& text,
             const std::vector<std::string>&, int, int escapeChoice) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return escapeChoice;
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

MsgAnswer IMessageService::AskWithDefault(MsgIcon icon, const std::string& title,
                                          const std::string& text, MsgButtons buttons, MsgAnswer) {
  return Ask(icon, title, text, buttons);
}

int IMessageService::Choose(MsgIcon, const std::string&, const std::string&,
                            const std::vector<std::string>&, int, int escapeChoice) {
  return escapeChoice;
}

std::vector<std::string> ButtonTexts(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return {"OK"};
    case MsgButtons::YesNo:
      return {"Yes", "No"};
    case MsgButtons::YesNoCancel:
      break;
  }
  return {"Yes", "No", "Cancel"};
}

const char* AnswerText(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::Ok:
      return "OK";
    case MsgAnswer::Yes:
      return "Yes";
    case MsgAnswer::No:
      return "No";
    case MsgAnswer::Cancel:
      break;
  }
  return "Cancel";
}

void TRecordingMessages::Show(MsgIcon icon, const std::string& title, const std::string& text) {
  shown.push_back({icon, title, text, {}, ""});
}

MsgAnswer TRecordingMessages::Ask(MsgIcon icon, const std::string& title, const std::string& text,
                                  MsgButtons buttons) {
  return AskWithDefault(icon, title, text, buttons,
                        buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes);
}

MsgAnswer TRecordingMessages::AskWithDefault(MsgIcon icon, const std::string& title,
                                             const std::string& text, MsgButtons buttons,
                                             MsgAnswer enterAnswer) {
  asked.push_back({icon, title, text, ButtonTexts(buttons), AnswerText(enterAnswer)});
  if (answers.empty()) return MsgAnswer::Cancel;
  MsgAnswer a = answers.front();
  answers.erase(answers.begin());
  return a;
}

int TRecordingMessages::Choose(MsgIcon icon, const std::string& title, const std::string& text,
                               const std::vector<std::string>& buttons, int defaultChoice,
                               int escapeChoice) {
  const bool inRange = defaultChoice >= 0 && defaultChoice < static_cast<int>(buttons.size());
  asked.push_back(
      {icon, title, text, buttons, inRange ? buttons[static_cast<size_t>(defaultChoice)] : ""});
  if (choices.empty()) return escapeChoice;
  const int c = choices.front();
  choices.erase(choices.begin());
  return c;
}
