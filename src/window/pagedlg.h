// TPageDlgFrm, the print options dialog: what a Print command prints (PrintFlags) and four
// page margins. One instance serves the whole run, so margins typed once stay.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

class TPageDlgFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TPageDlgFrm(QWidget* parent = nullptr);

  // The one instance of the run, created on first use.
  static TPageDlgFrm& Instance();

  // The four check boxes show flags (bits 0..3).
  void SetFlags(uint8_t flags);
  uint8_t Flags() const { return flags_; }
  // Modal; on OK the flags are read back from the check boxes. True when OK was chosen.
  bool Run();
  // Replaces exec() in tests: gets the dialog, returns whether it ended with OK.
  static std::function<bool(TPageDlgFrm&)> ExecHook;
  // Called with the Help button.
  std::function<void()> OnHelp;

  // Margins: 0 up, 1 down, 2 left, 3 right, in tenths of a centimetre.
  enum { kUp = 0, kDown = 1, kLeft = 2, kRight = 3 };
  int32_t Margin(int i) const { return margins_[static_cast<size_t>(i)]; }
  void SetMargin(int i, int32_t tenths);
  // Shows every margin in its box.
  void ShowMargins();
  // Reads box i into its margin (a text without a number shows the conversion error and
  // keeps the margin), then shows all four again: what leaving a box does.
  void ReadMargin(int i);
  // The up (+1) and down (-1) buttons of box i.
  void StepMargin(int i, int delta);

  QTabWidget* Pages;
  QCheckBox* cbPrintListing;
  QCheckBox* cbPrintGraph;
  QCheckBox* cbPrintZns1;
  QCheckBox* cbPrintZns2;
  std::array<QLineEdit*, 4> edtMargin{};
  std::array<QToolButton*, 4> btnMarginUp{};
  std::array<QToolButton*, 4> btnMarginDown{};
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QPushButton* btnHelp;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  uint8_t ReadFlags() const;
  uint8_t flags_ = 3;
  std::array<int32_t, 4> margins_{25, 25, 25, 25};
};
