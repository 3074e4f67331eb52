// The Print command: for each selected sequence its listing and its route graph, then
// the settings grids of the parsets, as PrintFlags asks. The same code prints from a
// registration window and from kivtool, each through its own IPrintSource.
#pragma once

#include <QFont>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "printlayout.h"

class QPrinter;
class QWidget;
class TChildForm;
class TEvLister;
class TGraph;
class TKiv;
class TPrintSession;

// What a Print command prints from.
class IPrintSource {
 public:
  virtual ~IPrintSource() = default;
  // The registration's file name (its directory is left out of the titles).
  virtual std::string FileName() const = 0;
  // The selected lines of the sequence list, counted from 0.
  virtual std::vector<int> SelectedSequenceItems() const = 0;
  virtual TEvLister& Lister() = 0;
  virtual TGraph& Graph() = 0;
  // The settings tab (0: parset 1, 1: parset 2); switching it refills the grid.
  virtual int SettingsTab() const = 0;
  virtual void SetSettingsTab(int tab) = 0;
  // The settings grid as it shows now, its font and the screen resolution it is measured in.
  virtual TGridTable SettingsGrid() const = 0;
  virtual QFont GridFont() const = 0;
  virtual double ScreenDpiX() const = 0;
  virtual double ScreenDpiY() const = 0;
};

// What one Print command put out.
struct TPrintResult {
  int Listings = 0;    // listing printouts
  int GraphPages = 0;  // graph pages
  int GridPages = 0;   // settings grid pages
};

// The font of the printed listing.
QFont ListingPrintFont();

// Prints source into session as flags (PrintFlags bits) ask. Sequences are printed in
// list order; a selected line beyond the sequences prints nothing. Stops starting
// printouts once the job is aborted. The settings tab ends where it was.
TPrintResult PrintRegistration(IPrintSource& source, uint8_t flags, TPrintSession& session);

// The printer of the program: the system's default printer, or the PDF printer when the
// system has none.
QPrinter& ProgramPrinter();
// Whether the program printer can print without asking where to: a system printer, or
// the PDF printer once a file was chosen for it.
bool PrinterReady(const QPrinter& printer);

// Test and embedding hooks for the modal dialogs of the window's printing: when set they
// replace exec() of the print dialog and of the printer setup dialog; true means OK.
extern std::function<bool(QPrinter&, QWidget*)> PrintDialogHook;
extern std::function<bool(QPrinter&, QWidget*)> PageSetupHook;

// A registration window as a print source.
class TChildPrintSource : public IPrintSource {
 public:
  explicit TChildPrintSource(TChildForm& form) : form_(form) {}
  std::string FileName() const override;
  std::vector<int> SelectedSequenceItems() const override;
  TEvLister& Lister() override;
  TGraph& Graph() override;
  int SettingsTab() const override;
  void SetSettingsTab(int tab) override;
  TGridTable SettingsGrid() const override;
  QFont GridFont() const override;
  double ScreenDpiX() const override;
  double ScreenDpiY() const override;

 private:
  TChildForm& form_;
};

// The window's Print (withDialog: the menu's, with the options and print dialogs; without:
// the toolbar's, with the current PrintFlags). help, when given, shows the help page of a
// context number (the options dialog's Help button).
void PrintChild(TChildForm& form, bool withDialog, const std::function<void(int)>& help = {});
// The window's Print preview: the printer setup dialog, then the graph takes the paper.
void PrintSetupChild(TChildForm& form);
