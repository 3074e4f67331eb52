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

// Walks "--name value" options and positional arguments. A "--" ends the options: every
// argument after it is positional, dashes or not.
class TArgs {
 public:
  TArgs(int argc, char** argv);  // argv[0] is the command name
  // The value of --name; throws when it has no value or is given twice.
  std::optional<std::string> Value(const std::string& name);
  // Every value of an option meant to repeat, in the order given.
  std::vector<std::string> Values(const std::string& name);
  // Whether --name is given; throws when it is given twice.
  bool Flag(const std::string& name);
  // An on/off option: "--name" alone is on, "--name on" and "--name off" say which;
  // nothing when it is not given. Throws when it is given twice.
  std::optional<bool> Switch(const std::string& name);
  // Positional arguments left after every option was taken; throws on unknown options.
  std::vector<std::string> Positional();
  int IntValue(const std::string& name, int def, int min, int max);

 private:
  std::vector<std::string> args_;
  std::vector<bool> used_;
  size_t optionsEnd_ = 0;  // index of the "--" that ends the options, or the count
};

// "Usage: kivtool COMMAND ...": the command's usage line of the manual page, the one
// source of every usage kivtool prints.
std::string CommandUsage(const std::string& command);
EToolError UsageError(const std::string& command);

std::string DefsDirFrom(TArgs& args);
// A new device object with the definitions directory of --defs, the registration file
// loaded; a file that cannot be loaded ends the command.
void LoadRegistration(TKiv& kiv, const std::string& fileName);
void SaveRegistration(TKiv& kiv, const std::string& fileName);
// The lines of "kivtool info".
void PrintInfo(const TKiv& kiv);
std::string ReadDateText(double days);
int ParsetNumber(TArgs& args);
// The --seq value, 1 to 65535; anything else ends the command with a usage error.
uint16_t SequenceNumber(TArgs& args, const std::string& usage);
// The error of a sequence number the registration does not have.
EToolError NoSequence(const std::string& number, int count);
