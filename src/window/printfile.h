// Files drawn by Qt's painters, written whole or not at all: the painter draws into a
// temporary beside the file (WriteFileAtomically's rules), and the result replaces the file
// only when it is complete. Qt's PDF and image writers do not always report a failed write
// or close, so the finished file itself is checked (TFileCheck).
#pragma once

#include <functional>
#include <string>

class QImage;
class QPrinter;

// The printer prints a high-resolution A4 portrait PDF (the output file is set by
// PrintToPdfFile).
void SetA4Pdf(QPrinter& printer);

// Points the printer at a temporary for fileName, runs print (false with error set: nothing
// worth keeping was printed), and puts the PDF in place when it is complete. The printer's
// own output file name and format are given back afterwards. False with error set ("Cannot
// write NAME: reason") when the file was not replaced; it is then as it was.
bool PrintToPdfFile(QPrinter& printer, const std::string& fileName,
                    const std::function<bool(std::string& error)>& print, std::string& error);

// The image as a PNG file, whole or not at all.
bool SavePngFile(const QImage& image, const std::string& fileName, std::string& error);
