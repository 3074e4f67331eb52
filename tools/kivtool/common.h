// Shared pieces of the kivtool commands: argument walking, loading, error exits.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kivbase.h"
#include "messages.h"

// A command's failure: the text goes to standard error and kivtool exits with status 2.
class EToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Messages of the libraries go to standard error; the tool remembers that one was shown,
// because a message box is how the libraries report a refused file or edit.
class TToolMessages : public IMessageService {
 public:
  int shownCount = 0;
  void Show(MsgIcon icon, const std::string& title, const std::string& text) override;
  MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                MsgButtons buttons) override;
};
TToolMessages& ToolMessages();

// Walks "--name value" options and positional arguments.
class TArgs {
 public:
  TArgs(int argc, char** argv);  // argv[0] is the command name
  // The value of --name (the last one given); throws when it has no value.
  std::optional<std::string> Value(const std::string& name);
  std::vector<std::string> Values(const std::string& name);
  bool Flag(const std::string& name);
  // Positional arguments left after every option was taken; throws on unknown options.
  std::vector<std::string> Positional();
  int IntValue(const std::string& name, int def, int min, int max);

 private:
  std::vector<std::string> args_;
  std::vector<bool> used_;
};

std::string DefsDirFrom(TArgs& args);
// A new device object with the definitions directory of --defs, the registration file
// loaded; a file that cannot be loaded ends the command.
void LoadRegistration(TKiv& kiv, const std::string& fileName);
void SaveRegistration(TKiv& kiv, const std::string& fileName);
// The lines of "kivtool info".
void PrintInfo(const TKiv& kiv);
std::string ReadDateText(double days);
int ParsetNumber(TArgs& args);
