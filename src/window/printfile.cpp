#include "printfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QString>

#include "atomicfile.h"

namespace {

// Gives the printer back its own output whatever way printing ends.
class TPrinterOutputGuard {
 public:
  explicit TPrinterOutputGuard(QPrinter& printer)
      : printer_(printer), name_(printer.outputFileName()), format_(printer.outputFormat()) {}
  ~TPrinterOutputGuard() {
    // The name first: an empty one switches the format back to the native printer.
    printer_.setOutputFileName(name_);
    printer_.setOutputFormat(format_);
  }
  TPrinterOutputGuard(const TPrinterOutputGuard&) = delete;
  TPrinterOutputGuard& operator=(const TPrinterOutputGuard&) = delete;

 private:
  QPrinter& printer_;
  QString name_;
  QPrinter::OutputFormat format_;
};

}  // namespace

void SetA4Pdf(QPrinter& printer) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
}

bool PrintToPdfFile(QPrinter& printer, const std::string& fileName,
                    const std::function<bool(std::string& error)>& print, std::string& error) {
  TPrinterOutputGuard guard(printer);
  return ProduceFileAtomically(
      fileName, TFileCheck::Pdf,
      [&](const std::string& temp, std::string& why) {
        // The temporary's name does not end in ".pdf", so the format is set after it.
        printer.setOutputFileName(QString::fromStdString(temp));
        printer.setOutputFormat(QPrinter::PdfFormat);
        return print(why);
      },
      error);
}

bool SavePngFile(const QImage& image, const std::string& fileName, std::string& error) {
  // Encoded in memory first: Qt's PNG writer leaks its row buffer when the file write fails
  // part-way, and a memory write cannot fail that way. The bytes then go out whole or not
  // at all like every other file.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
    error = "Cannot write " + fileName + ": the image could not be encoded as PNG";
    return false;
  }
  return WriteFileAtomically(fileName, std::string_view(bytes.constData(), bytes.size()), error);
}
