// What a registration window gets from the program beside its host: printing and the
// additions of its File menu. The main window hands one object to every registration
// window it creates; a window without one keeps those menu items disabled.
#pragma once

#include <string>

class TChildForm;

class IChildServices {
 public:
  virtual ~IChildServices() = default;
  // Print (withDialog: the options and print dialogs first, as the menu does; without: at
  // once with the window's PrintFlags, as the toolbar does) and Print preview.
  virtual void Print(TChildForm& form, bool withDialog) = 0;
  virtual void PrintSetup(TChildForm& form) = 0;
  // The settings comparison, the export of a sequence and the service report, by command
  // ("compare", "export-comtrade", "export-csv", "report").
  virtual void Extras(TChildForm& form, const std::string& command) = 0;
};
