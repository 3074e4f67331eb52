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
  virtual MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                        MsgButtons buttons) = 0;
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
  };
  std::vector<Entry> shown;
  std::vector<Entry> asked;
  std::vector<MsgAnswer> answers;  // consumed front first; empty means Cancel

  void Show(MsgIcon icon, const std::string& title, const std::string& text) override;
  MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                MsgButtons buttons) override;
};

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
