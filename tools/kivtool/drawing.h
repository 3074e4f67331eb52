// What the drawing commands of kivtool (graph, print, report) share: Qt started without a
// display, a registration held as the window holds it after opening its file, and the
// window's sequence selection given on the command line.
#pragma once

#include <QApplication>
#include <QFont>
#include <memory>
#include <string>
#include <vector>

#include "graph.h"
#include "kivbase.h"
#include "lister.h"
#include "printing.h"

// Qt needs a platform even for drawing into images; without a display take the
// offscreen one.
std::unique_ptr<QApplication> StartQt();

void RequirePdfOutput(const std::string& fileName);

// A registration file loaded, its sequences built into a lister that draws into a graph.
struct TDrawnRegistration {
  explicit TDrawnRegistration(const std::string& defsDir);
  void Load(const std::string& fileName);  // loads and builds the sequences
  TKiv kiv;
  TGraph graph;
  TEvLister lister;
};

// The list items (0-based) of the sequence numbers given; an unknown one ends the command.
std::vector<int> SequenceItems(const TEvLister& lister, const std::vector<std::string>& numbers);

// The registration as the window's printing sees it, with the selection of the command line.
class TToolPrintSource : public IPrintSource {
 public:
  TToolPrintSource(TDrawnRegistration& reg, const std::string& filePath, std::vector<int> items,
                   int tab);
  std::string FileName() const override { return fileName_; }
  std::vector<int> SelectedSequenceItems() const override { return items_; }
  TEvLister& Lister() override { return reg_.lister; }
  TGraph& Graph() override { return reg_.graph; }
  int SettingsTab() const override { return tab_; }
  void SetSettingsTab(int tab) override { tab_ = tab; }
  TGridTable SettingsGrid() const override;
  QFont GridFont() const override;
  // The screen the window's grid sizes are measured in.
  double ScreenDpiX() const override { return 96; }
  double ScreenDpiY() const override { return 96; }

 private:
  TDrawnRegistration& reg_;
  std::string fileName_;
  std::vector<int> items_;
  int tab_;
};
