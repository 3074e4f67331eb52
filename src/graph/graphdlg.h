// TGraphSetup: the modal dialog of the graph's options (copy span, grid lines, x scale
// divisions). It edits working copies; the graph takes them over only after OK.
#pragma once

#include <QColor>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>

#include "graphmodel.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QToolButton;

// Up and down arrows beside an edit.
class TSpinButton : public QWidget {
  Q_OBJECT

 public:
  explicit TSpinButton(QWidget* parent);
  QToolButton* UpButton = nullptr;
  QToolButton* DownButton = nullptr;

 signals:
  void UpClick();
  void DownClick();
};

class TGraphSetup : public QDialog {
  Q_OBJECT

 public:
  explicit TGraphSetup(QWidget* parent = nullptr);

  // --- working copies ---
  uint8_t CopyMode = 1;  // 1 whole axis, 0 between the cursors
  TGraphColor MajorColor = kColorBlue;
  TGraphColor MinorColor = kColorBlue;
  bool ShowMajor = false;
  bool ShowMinor = false;
  double ValuePerDiv = 1.0;
  uint16_t DivLen = 10;
  uint16_t MinorCount = 4;

  // Takes the graph's settings into the working copies and the thickness edits.
  void Load(const TGraphModel& Graph);
  // Shows the working copies in the controls and runs the dialog modally; true on OK.
  bool Execute();
  // Hands the working copies and both thicknesses to the graph (after OK).
  void Store(TGraphModel& Graph) const;

  // The colour chooser; the default opens the platform's colour dialog. Empty when the
  // user cancels it.
  std::function<std::optional<QColor>(const QColor&)> ChooseColor;
  std::function<void()> HelpRequested;

  // OK is refused (with the conversion error) while a thickness text is not a number,
  // so nothing at all is taken over from a half-valid dialog.
  void accept() override;

  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QPushButton* HelpBtn = nullptr;
  QTabBar* TabSet = nullptr;
  QStackedWidget* Notebook = nullptr;
  QGroupBox* gbTime = nullptr;
  QRadioButton* rbSelectAll = nullptr;
  QRadioButton* rbSelectMark = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  TSpinButton* SpinButton1 = nullptr;
  TSpinButton* SpinButton2 = nullptr;
  QFrame* Shape1 = nullptr;
  QFrame* Shape2 = nullptr;
  QPushButton* btnColorSetup1 = nullptr;
  QPushButton* Button1 = nullptr;
  QCheckBox* cbShowMajor = nullptr;
  QCheckBox* cbShowMinor = nullptr;
  QLineEdit* edit_dXPerDiv = nullptr;
  QLineEdit* editdXLen = nullptr;
  QLineEdit* edit_MinorGridCnt = nullptr;

 private:
  void Step(QLineEdit* Edit, double Delta);
  void PickColor(TGraphColor& Color, QFrame* Shape);
  void ShowColors();
  void OnScalingEdited();
};

// Reads a thickness text: false when it is not a number.
bool ParseThickness(const std::string& Text, double& Value);
