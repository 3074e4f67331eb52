// The registration window's additions: the settings comparison view, File -> Export of
// the selected sequence (COMTRADE, CSV) and File -> Service report.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kivbase.h"
#include "settingsdiff.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTableWidget;
class TChildForm;

// Two settings sets side by side, laid out by the definitions: one row per setting,
// differing rows highlighted, optionally only those.
class TSettingsCompareDlg : public QDialog {
  Q_OBJECT
 public:
  // A registration the comparison can take its second side from.
  struct TCandidate {
    std::string Name;
    const TKiv* Kiv = nullptr;
  };
  TSettingsCompareDlg(const TKiv& kiv, const std::string& name, std::vector<TCandidate> others,
                      QWidget* parent = nullptr);
  ~TSettingsCompareDlg() override;

  // Side A: parset 1 or 2 of this registration; side B: entry i of the second list.
  void SetSides(int parsetA, int entryB);
  // Adds a registration file as a candidate of side B and selects its parset 1; false when
  // it cannot be read (the message was shown).
  bool AddFile(const std::string& fileName);
  void SetDifferencesOnly(bool on);
  const TSettingsDiff& Diff() const { return diff_; }
  QTableWidget* Table() const { return table_; }
  QComboBox* SideB() const { return cbB_; }
  QLabel* Summary() const { return summary_; }

  // Test hook: replaces the open-file dialog; returns the chosen name or "".
  static std::function<std::string(QWidget*)> OpenFileHook;

 private:
  void Refill();
  void FillSideB();

  const TKiv& kiv_;
  std::string name_;
  std::vector<TCandidate> candidates_;
  std::vector<std::unique_ptr<TKiv>> files_;
  TSettingsDiff diff_;
  QComboBox* cbA_;
  QComboBox* cbB_;
  QCheckBox* chbDifferences_;
  QTableWidget* table_;
  QLabel* summary_;
};

// What the window's menu items run, by command: "compare", "export-comtrade",
// "export-csv", "report".
void RunExtrasCommand(TChildForm& form, const std::string& command);

// Test hooks replacing the file dialogs of Export and Service report: given the proposed
// name, return the chosen one or "" for Cancel.
extern std::function<std::string(QWidget*, const std::string& proposed)> ExportDirHook;
extern std::function<std::string(QWidget*, const std::string& proposed)> ExportFileHook;
// Test hook for the comparison view: called with the dialog instead of exec().
extern std::function<void(TSettingsCompareDlg&)> CompareDialogHook;
