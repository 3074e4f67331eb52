// The program's configuration file "kiv.ini": where it lives, how its keys read and how
// they are written back. Qt-free except for the location of the user's directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "commlink.h"
#include "inifile.h"

// The communication settings kept in "kiv.ini": the link settings the dialogues share, and
// the serial port's name and speed, which the port itself keeps while the program runs.
// WriteAppConfig writes MBTCPComm, MBTCPIP, MBTCPPort, Port, Speed, Time_Out, TimeSilence.
struct TAppConfig : TLinkSettings {
  std::string Port;  // empty: no port
  uint8_t Speed = 6;
};

// Where the main window was when the program last ended: its normal (not maximised)
// frame position and size, and whether it was maximised. Width 0: never stored.
struct TWindowPlacement {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Maximized = false;
};

// Kept in "kiv.ini" after the communication settings (keys WindowLeft, WindowTop,
// WindowWidth, WindowHeight, WindowMaximized).
TWindowPlacement ReadWindowPlacement(const TIniFile& ini, const std::string& section);
void WriteWindowPlacement(TIniFile& ini, const std::string& section, const TWindowPlacement& p);

// The events page's split between the sequence list, the listing and the graph, in
// thousandths of the page (key EventsSplit, "250,250,500"); empty when none is stored or the
// value is not a list of numbers (the window judges the numbers).
std::vector<int32_t> ReadEventsSplit(const TIniFile& ini, const std::string& section);
void WriteEventsSplit(TIniFile& ini, const std::string& section, const std::vector<int32_t>& split);

// The serial port a configuration without a Port key names.
std::string DefaultPortName();
// The port a numeric Port value n names on this platform (ttyS(n-1) here, COMn on Windows).
std::string NumberedPortName(int n);

// Integer keys read as the profile functions read them: a missing key gives def, a
// value that does not begin with digits (after an optional sign) gives 0, and digits
// are read up to the first other character.
int32_t ReadProfileInt(const TIniFile& ini, const std::string& section, const std::string& key,
                       int32_t def);

TAppConfig ReadAppConfig(const TIniFile& ini, const std::string& section);
void WriteAppConfig(TIniFile& ini, const std::string& section, const TAppConfig& config);

// The section name: the executable's file name without its directory, cut at its first
// ".", every character after the first in lower case ("kivsvc" -> "Kivsvc" keeps "K").
std::string ConfigSectionName(const std::string& executablePath);

// ---------------------------------------------------------------------------
// Command line

struct TCmdAction {
  enum Kind { OpenFile, ServiceOn };
  Kind kind;
  std::string arg;  // the file name as given (its case kept)
};

struct TCmdWalk {
  std::vector<TCmdAction> actions;  // in argument order
  std::string params;               // start-up parameter text, "" when none
  std::string missingFile;          // the ".kiv" name that stopped the walk, if any
};

// Walks the program arguments (without the program name). Arguments are lower-cased only
// to compare them; file names keep their case, while start-up parameter commands and the
// device type words are passed on in lower case, as the parameter parser knows them.
TCmdWalk WalkCommandLine(const std::vector<std::string>& args,
                         const std::function<bool(const std::string&)>& fileExists);

// The window name of a start-up parameter text: the text after the first "file" up to
// the next item (a "-" at the start or after a blank), trimmed; empty when there is none.
std::string ParamsWindowName(const std::string& params);

// "File n.kiv" for the first n above counter whose file does not exist; counter is
// updated. The caller resets the counter to 0 when no registration window is open.
std::string NextNewFileName(uint16_t& counter,
                            const std::function<bool(const std::string&)>& fileExists);

// ---------------------------------------------------------------------------
// X scale box

struct TXScaleAction {
  enum Kind { Nothing, SetScale, Fit };
  Kind kind = Nothing;
  int32_t scale = 0;
};
// What a change of the X-scale box asks for: nothing while the text is empty or the user
// is still typing a value that is not an item; a whole number 10..50000 sets the scale;
// any other text fits.
TXScaleAction DecideXScale(const std::string& text, bool isItem, bool hasSelection);
