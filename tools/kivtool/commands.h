// Every kivtool command: argv[0] is the command name; the result is the exit status.
#pragma once

int CmdInfo(int argc, char** argv);
int CmdParams(int argc, char** argv);
int CmdSettings(int argc, char** argv);
int CmdConvert(int argc, char** argv);
int CmdSet(int argc, char** argv);
int CmdGenerate(int argc, char** argv);
int CmdSequences(int argc, char** argv);
int CmdListing(int argc, char** argv);
int CmdRoute(int argc, char** argv);
int CmdHex(int argc, char** argv);
int CmdLegend(int argc, char** argv);
int CmdDiff(int argc, char** argv);
int CmdExport(int argc, char** argv);
// Built with Qt only (serial port and Modbus TCP).
int CmdRead(int argc, char** argv);
int CmdWrite(int argc, char** argv);
// Built with Qt only (drawing through the offscreen platform).
int CmdGraph(int argc, char** argv);
int CmdReport(int argc, char** argv);
int CmdPrint(int argc, char** argv);
// Built with Qt only (the events archive over Qt SQL).
int CmdArchive(int argc, char** argv);
