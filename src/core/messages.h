// Message boxes and questions of the Qt-free logic. The window implements the service
// with QMessageBox; tools print to standard error; tests record and answer.
#pragma once

#include <string>
#include <vector>

enum class MsgIcon { Error, Warning, Information };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class IMessageService {
 public:
  virtual ~IMessageService() = default;
  virtual void Show(MsgIcon icon, const std::string& title, const std::string& text) = 0;
  // Enter gives the first button's answer (Yes, or Ok).
  virtual MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                        MsgButtons buttons) = 0;
  // As Ask, with the answer Enter gives named: a question whose Yes cannot be taken back (a
  // write to a device) names No. A service that cannot mark a button asks as Ask does.
  virtual MsgAnswer AskWithDefault(MsgIcon icon, const std::string& title, const std::string& text,
                                   MsgButtons buttons, MsgAnswer enterAnswer);
  // A question answered by one of the caller's words, one button each. Returns the index of
  // the button chosen: Enter gives defaultChoice, Escape or closing the box escapeChoice. A
  // service that cannot ask answers escapeChoice, so the escape must be the harmless answer.
  virtual int Choose(MsgIcon icon, const std::string& title, const std::string& text,
                     const std::vector<std::string>& choices, int defaultChoice, int escapeChoice);
};

// The process-wide service; without one installed, messages go to standard error and
// questions are answered Cancel (or No for Yes/No questions).
IMessageService& Messages();
// Installs a service (not owned) and returns the previous one (null when the default was used).
IMessageService* SetMessageService(IMessageService* service);

// A service for tests and batch tools: keeps every message, answers with a queue of answers.
class TRecordingMessages : public IMessageService {
 public:
  struct Entry {
    MsgIcon icon;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;  // of a question, in the box's order
    std::string enterButton;           // the button Enter gives
  };
  std::vector<Entry> shown;
  std::vector<Entry> asked;
  std::vector<MsgAnswer> answers;  // consumed front first; empty means Cancel
  std::vector<int> choices;        // answers of Choose, front first; empty means the escape

  void Show(MsgIcon icon, const std::string& title, const std::string& text) override;
  MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                MsgButtons buttons) override;
  MsgAnswer AskWithDefault(MsgIcon icon, const std::string& title, const std::string& text,
                           MsgButtons buttons, MsgAnswer enterAnswer) override;
  int Choose(MsgIcon icon, const std::string& title, const std::string& text,
             const std::vector<std::string>& choices, int defaultChoice, int escapeChoice) override;
};

// The buttons of a standard question, in the box's order ("Yes", "No", "Cancel").
std::vector<std::string> ButtonTexts(MsgButtons buttons);
const char* AnswerText(MsgAnswer answer);

// Installs a service for the lifetime of the object, restoring the previous one after.
class TScopedMessageService {
 public:
  explicit TScopedMessageService(IMessageService* service)
      : previous_(SetMessageService(service)) {}
  ~TScopedMessageService() { SetMessageService(previous_); }
  TScopedMessageService(const TScopedMessageService&) = delete;
  TScopedMessageService& operator=(const TScopedMessageService&) = delete;

 private:
  IMessageService* previous_;
};
