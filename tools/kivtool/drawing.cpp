#include "drawing.h"

#include <QFileInfo>
#include <QString>

#include "common.h"
#include "gridprn.h"

std::unique_ptr<QApplication> StartQt() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "kivtool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

void RequirePdfOutput(const std::string& fileName) {
  if (!QString::fromStdString(fileName).endsWith(".pdf", Qt::CaseInsensitive)) {
    throw EToolError("The output must be a .pdf file");
  }
}

TDrawnRegistration::TDrawnRegistration(const std::string& defsDir) {
  kiv.DefsDir = defsDir;
  graph.resize(1000, 400);
  lister.SetDevice(&kiv);
  lister.SetGraph(&graph.Model());
}

void TDrawnRegistration::Load(const std::string& fileName) {
  graph.SetDataTimeType(TIntervalTimeType::Seconds);
  LoadRegistration(kiv, fileName);
  lister.BuildSequences();
}

std::vector<int> SequenceItems(const TEvLister& lister, const std::vector<std::string>& numbers) {
  std::vector<int> items;
  for (const std::string& t : numbers) {
    size_t used = 0;
    int n = 0;
    try {
      n = std::stoi(t, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != t.size() || n < 1 || n > lister.SequenceCount()) {
      throw EToolError("No sequence " + t + " (the registration has " +
                       std::to_string(lister.SequenceCount()) + ")");
    }
    items.push_back(n - 1);
  }
  return items;
}

TToolPrintSource::TToolPrintSource(TDrawnRegistration& reg, const std::string& filePath,
                                   std::vector<int> items, int tab)
    : reg_(reg),
      fileName_(QFileInfo(QString::fromStdString(filePath)).fileName().toStdString()),
      items_(std::move(items)),
      tab_(tab) {}

TGridTable TToolPrintSource::SettingsGrid() const {
  return SettingsGridTable(reg_.kiv, tab_ + 1);
}

// The settings grid's font as the window shows it.
QFont TToolPrintSource::GridFont() const {
  QFont f("Arial");
  f.setPixelSize(11);
  return f;
}
