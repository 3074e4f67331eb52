// The service report: one PDF with the registration's identification, station, dates and
// note, both parsets side by side with their differences marked, and the listing and graph
// of each selected sequence, printed by the same code as the window's Print.
#pragma once

#include <string>
#include <vector>

class IPrintSource;
class TKiv;
class TPrintSession;

// The lines of the report's first part (label and value), as printed.
std::vector<std::pair<std::string, std::string>> ReportHeaderLines(const TKiv& kiv,
                                                                   const std::string& fileName);

struct TReportResult {
  int HeaderPages = 0;    // sheets of identification and settings
  int DifferingRows = 0;  // settings that differ between the parsets
  int Listings = 0;
  int GraphPages = 0;
};

// Prints the report into session: the identification and settings part, then listing and
// graph of the sequences source has selected.
TReportResult PrintServiceReport(IPrintSource& source, const TKiv& kiv, TPrintSession& session);

// The whole report of source into a PDF file; false with error set when it cannot be made.
bool WriteServiceReport(IPrintSource& source, const TKiv& kiv, const std::string& pdfName,
                        TReportResult& result, std::string& error);
