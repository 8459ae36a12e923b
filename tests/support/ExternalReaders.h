#pragma once

#include "workbook/sheet/Workbook.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <utility>

// Helpers for checking our workbooks with programs we did not write.
namespace markwell::test {

struct ToolRun {
    bool ok = false;
    QString out, err;
};

// Runs a program to its end (at most `timeoutMs`) and collects what it printed. `environment`
// adds or replaces variables ("NAME=value") in the one it inherits.
ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs = 240000,
                const QStringList& environment = {});

// A python3 that can import xlrd, or empty.
QString pythonWithXlrd();
// A python3 that can import the module (openpyxl ...), or empty.
QString pythonWith(const QString& module);

// A python3 that can import uno (the python3-uno bridge to LibreOffice), or empty.
QString pythonWithUno();

// The python3 that drives LibreOffice through uno, when both soffice and python3-uno are
// installed; otherwise empty, and `missing` says what to install.
QString pythonForLibreOffice(std::string& missing);

// Runs a Python script that prints one JSON object on stdout and returns that object. When the
// output is no JSON object, the object is empty and `problem` holds what the script printed.
QJsonObject runJsonScript(const QString& python, const QString& script, const QStringList& args, int timeoutMs,
                          std::string& problem);

// The same workbook with every formula's stored result replaced, so a reader that shows the
// right results must have computed them itself.
sheet::Workbook withStaleResults(sheet::Workbook wb);

// Two results agree: numbers within rounding, an empty text and an empty cell alike.
bool sameResult(const sheet::Value& a, const sheet::Value& b);

// Every formula result of `ours` is what the other program computed (reported through gtest).
// Returns how many formulas were compared.
int expectSameResults(const sheet::Workbook& ours, const sheet::Workbook& theirs, const std::string& who);

// The values of the first table of a flat OpenDocument spreadsheet (.fods), put into `into`;
// with `formulas`, also the formula text of each formula cell, by 0-based row and column.
using OdsFormulas = std::map<std::pair<int, int>, QString>;
bool readFlatOdsValues(const QByteArray& xml, sheet::Sheet& into, std::string& problem,
                       OdsFormulas* formulas = nullptr);

// LibreOffice's results for .xls files: each file is converted to flat OpenDocument with a
// private profile, and the values of its first sheet are read back. Empty when soffice is not
// installed; `problem` says what went wrong otherwise.
struct LibreOfficeResults {
    bool available = false;
    std::vector<sheet::Workbook> books; // one per input, in order
    std::vector<OdsFormulas> formulas;  // the formula texts of each, as LibreOffice writes them
    std::string problem;
    QString messages; // what soffice printed
};
LibreOfficeResults libreOfficeValues(const QStringList& xlsFiles, const QString& scratchFolder);

// What openpyxl reads from an .xlsx file (tests/support/openpyxl_dump.py): an empty object with
// `problem` set when python3-openpyxl is missing or the file cannot be read.
QJsonObject openpyxlDump(const QString& xlsxFile, std::string& problem);

// Every cell of `ours` (formula, cached value and format), the merges, column widths, row
// heights, comments, names, print ranges, page set-up, gridlines and active cell are what
// openpyxl read from the .xlsx we wrote (reported through gtest). Returns how many cells were
// compared.
int expectOpenpyxlReads(const sheet::Workbook& ours, const QJsonObject& dump);

} // namespace markwell::test
