// What a registration window needs from the main window that holds it. The main window
// implements it; tests may implement it over plain fields.
#pragma once

#include <string>

#include "commlink.h"

class TChildForm;

class IChildHost {
 public:
  virtual ~IChildHost() = default;
  virtual bool ServiceMode() const = 0;
  virtual std::string InstallDir() const = 0;
  // The program's communication settings, shared by every registration.
  virtual TCommSettings& CommSettings() = 0;
  virtual void UpdateControls() = 0;
  virtual void NewCommand() = 0;
  virtual void OpenCommand() = 0;
  virtual void CloseProgram() = 0;
  // Runs the save dialog with fileName proposed; true with the chosen name on OK.
  // allFiles chooses the "All files" filter (the raw buffer export).
  virtual bool ExecuteSaveDialog(std::string& fileName, bool allFiles) = 0;
  // The window became active: the host shows its scale and updates its controls.
  virtual void ChildActivated(TChildForm* child) = 0;
  // Help at the page of a context number (0: contents).
  virtual void HelpRequest(int context) { (void)context; }
};
