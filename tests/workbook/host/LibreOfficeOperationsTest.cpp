// The structural operations of the filling, done on the template by our engine and by
// LibreOffice (driven through lo_operations.py), must leave the same sheet behind: every formula
// and constant in the same cell, the defined names, the print ranges, the merged areas and the
// comments in the same places.

#include "workbook/host/EmbeddedHost.h"

#include "gradebook/TemplateBytes.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

using Operations = std::vector<std::string>;

struct Sequence {
    std::string name;
    Operations operations;
    bool filling = true; // one the filling makes, which keeps every formula of the template
};

// The column copies the filling makes for `tests` tests: one per test beyond five.
Operations columnCopies(int tests) {
    Operations ops;
    for (int i = 6; i <= tests; ++i) {
        ops.push_back("copy J6:J19");
        ops.push_back("insert J6 right");
    }
    return ops;
}

// The band copies for `students` students, then the surplus row of an odd count removed.
Operations studentRows(int students) {
    const int rows = students % 2 == 0 ? students : students + 1;
    Operations ops;
    int k = 1;
    for (int j = 2; j <= rows / 2; ++j) {
        ops.push_back("copy 13:14");
        ops.push_back("insert 13:14 down");
        k += 2;
    }
    if (students % 2 == 1) {
        ops.push_back("delete " + std::to_string(13 + k) + " up");
    }
    return ops;
}

Operations filling(int tests, int students) {
    Operations ops = columnCopies(tests);
    const Operations rows = studentRows(students);
    ops.insert(ops.end(), rows.begin(), rows.end());
    return ops;
}

const std::vector<Sequence>& sequences() {
    static const std::vector<Sequence> all = {
        {"6 tests", columnCopies(6)},
        {"7 tests", columnCopies(7)},
        {"12 tests", columnCopies(12)},
        {"1 student", studentRows(1)},
        {"3 students", studentRows(3)},
        {"5 students", studentRows(5)},
        {"8 students", studentRows(8)},
        {"7 tests x 5 students", filling(7, 5)},
        {"12 tests x 8 students", filling(12, 8)},
        {"12 tests x 3 students", filling(12, 3)},
        {"250 tests x 9 students", filling(250, 9)}, // the test block reaches the last column, IV
        // Deletes the filling never makes, for the references they cut.
        {"delete the spacer row", {"delete 15 up"}, false},
        {"delete the student band", {"delete 13:14 up"}, false},
        {"delete the student header", {"delete 12 up"}, false},
        {"delete the test names", {"delete 6 up"}, false},
        {"delete the grade table", {"delete 2:4 up"}, false},
        {"delete the printed rows", {"delete 5:19 up"}, false},
    };
    return all;
}

std::string describe(const Sequence& s) {
    std::string text = s.name + " (";
    for (std::size_t i = 0; i < s.operations.size(); ++i) {
        text += (i ? "; " : "") + s.operations[i];
    }
    return text + ")";
}

// Formula text as both programs spell it, brought to one spelling. Inside string literals
// nothing changes. Outside them:
// - LibreOffice's API grammar separates function arguments (and the parts of a name's list)
//   with ';' where ours writes ','; the meaning is the same.
// - Sheet prefixes go: LibreOffice writes $'Grade book'.E2, ours 'Grade book'!E2. The workbook
//   has one sheet, so the prefix says nothing the reference does not.
// - Letters are upper-cased: function names, column letters and names are case-insensitive.
// - A reference whose cells were deleted is #REF! on both sides, but LibreOffice keeps the
//   surviving part in its text (D#REF! for a cell whose row went, G#REF!:K#REF!, $A$#REF!:
//   $XFD$#REF! for a whole row); ours writes plain #REF!, as the file stores it. Both forms
//   become #REF!.
// The `$` marks are kept: they decide what a later copy does, so losing or gaining one is a
// real difference, not a spelling.
std::string normaliseFormula(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const std::size_t close = text.find('"', i + 1);
            const std::size_t end = close == std::string::npos ? text.size() : close + 1;
            out += text.substr(i, end - i);
            i = end - 1;
            // "" inside a literal is an escaped quote: the next literal continues it.
        } else if (c == '\'') {
            std::size_t j = i + 1;
            while (j < text.size() && (text[j] != '\'' || (j + 1 < text.size() && text[j + 1] == '\''))) {
                j += text[j] == '\'' ? 2 : 1;
            }
            const bool prefix = j + 1 < text.size() && (text[j + 1] == '!' || text[j + 1] == '.');
            if (prefix) {
                if (!out.empty() && out.back() == '$') {
                    out.pop_back(); // LibreOffice's absolute-sheet mark
                }
                i = j + 1;
            } else {
                out += text.substr(i, j + 1 - i);
                i = j;
            }
        } else if (text.compare(i, 5, "#REF!") == 0) {
            while (!out.empty() && (out.back() == '$' || std::isupper(static_cast<unsigned char>(out.back())))) {
                out.pop_back();
            }
            out += "#REF!";
            i += 4;
            // The second corner of a range that went as a whole: ":$K$#REF!".
            std::size_t j = i + 1;
            if (j < text.size() && text[j] == ':') {
                ++j;
                while (j < text.size() && (text[j] == '$' || std::isalpha(static_cast<unsigned char>(text[j])))) {
                    ++j;
                }
                if (text.compare(j, 5, "#REF!") == 0) {
                    i = j + 4;
                }
            }
        } else if (c == ';') {
            out += ',';
        } else {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::string numberText(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// What one sheet looks like after a sequence, in the words both sides can be brought to.
struct SheetState {
    std::map<std::string, std::string> cells; // A1 -> normalised formula, "number 0.6" or "text F"
    std::map<std::string, std::string> names; // GradeTable, Print_Area, Print_Titles
    std::string printArea, printTitles;       // from the print settings (LibreOffice only)
    std::set<std::string> merged, comments;
};

SheetState ourState(const sheet::Workbook& wb) {
    SheetState s;
    const sheet::Sheet& sh = wb.sheets.front();
    sh.forEachCell([&](int r, int c, const sheet::Cell& cell) {
        const std::string at = sheet::toA1(sheet::CellPos{r, c});
        if (cell.formula) {
            s.cells[at] = normaliseFormula(formula::printFormula(cell.formula, &wb));
        } else if (cell.value.isNumber()) {
            s.cells[at] = "number " + numberText(cell.value.number());
        } else if (cell.value.isText() && !cell.value.text().empty()) {
            s.cells[at] = "text " + cell.value.text();
        } else if (!cell.value.isEmpty()) {
            s.cells[at] = cell.value.describe();
        }
    });
    for (const sheet::DefinedName& n : wb.names) {
        s.names[n.name] = normaliseFormula(formula::printExpression(n.refersTo, &wb));
    }
    for (const sheet::Area& a : sh.merged) {
        s.merged.insert(sheet::toA1(a));
    }
    for (const sheet::Comment& c : sh.comments) {
        s.comments.insert(sheet::toA1(c.pos));
    }
    return s;
}

SheetState libreOfficeState(const QJsonObject& o) {
    SheetState s;
    const QJsonObject cells = o.value(u"cells"_s).toObject();
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        const QJsonObject cell = it.value().toObject();
        std::string text;
        if (cell.contains(u"formula"_s)) {
            text = normaliseFormula(cell.value(u"formula"_s).toString().toStdString());
        } else if (cell.contains(u"number"_s)) {
            text = "number " + numberText(cell.value(u"number"_s).toDouble());
        } else {
            text = "text " + cell.value(u"text"_s).toString().toStdString();
        }
        s.cells[it.key().toStdString()] = text;
    }
    const auto content = [](const QJsonObject& names, const QString& key) {
        return names.contains(key) ? normaliseFormula(names.value(key).toString().toStdString()) : std::string();
    };
    const QJsonObject names = o.value(u"names"_s).toObject();
    const QJsonObject local = o.value(u"sheetNames"_s).toObject();
    s.names["GradeTable"] = content(names, u"GradeTable"_s);
    // LibreOffice keeps the two built-in names of an .xls sheet under these names.
    s.names["Print_Area"] = content(local, u"Excel_BuiltIn_Print_Area"_s);
    s.names["Print_Titles"] = content(local, u"Excel_BuiltIn_Print_Titles"_s);
    QStringList areas;
    for (const QJsonValue& v : o.value(u"printAreas"_s).toArray()) {
        areas << v.toString();
    }
    s.printArea = areas.join(u',').toStdString();
    QStringList titles;
    for (const QString& key : {u"titleColumns"_s, u"titleRows"_s}) {
        if (!o.value(key).toString().isEmpty()) {
            titles << o.value(key).toString();
        }
    }
    s.printTitles = titles.join(u',').toStdString();
    for (const QJsonValue& v : o.value(u"merged"_s).toArray()) {
        s.merged.insert(v.toString().toStdString());
    }
    for (const QJsonValue& v : o.value(u"comments"_s).toArray()) {
        s.comments.insert(v.toString().toStdString());
    }
    return s;
}

std::string withoutDollars(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '$'), text.end());
    return text;
}

// Every way the two states differ, one line each.
std::vector<std::string> differences(const SheetState& ours, const SheetState& theirs) {
    std::vector<std::string> out;
    std::set<std::string> places;
    for (const auto& [at, _] : ours.cells) {
        places.insert(at);
    }
    for (const auto& [at, _] : theirs.cells) {
        places.insert(at);
    }
    const auto shown = [](const std::map<std::string, std::string>& m, const std::string& key) {
        const auto it = m.find(key);
        return it == m.end() ? std::string("(nothing)") : it->second;
    };
    for (const std::string& at : places) {
        const std::string a = shown(ours.cells, at), b = shown(theirs.cells, at);
        if (a != b) {
            out.push_back("cell " + at + ": ours " + a + ", LibreOffice " + b);
        }
    }
    for (const std::string name : {"GradeTable", "Print_Area", "Print_Titles"}) {
        const std::string a = shown(ours.names, name), b = shown(theirs.names, name);
        if (a != b) {
            out.push_back("name " + name + ": ours " + a + ", LibreOffice " + b);
        }
    }
    // The print settings LibreOffice would print and save by, written without `$`. They cannot
    // say #REF! (LibreOffice keeps or clamps the old setting), so a cut name is checked above only.
    const std::string area = shown(ours.names, "Print_Area"), titles = shown(ours.names, "Print_Titles");
    if (area.find("#REF!") == std::string::npos && withoutDollars(area) != theirs.printArea) {
        out.push_back("print area: ours " + shown(ours.names, "Print_Area") + ", LibreOffice " + theirs.printArea);
    }
    if (titles.find("#REF!") == std::string::npos && withoutDollars(titles) != theirs.printTitles) {
        out.push_back("print titles: ours " + shown(ours.names, "Print_Titles") + ", LibreOffice " +
                      theirs.printTitles);
    }
    const auto join = [](const std::set<std::string>& s) {
        std::string t;
        for (const std::string& x : s) {
            t += (t.empty() ? "" : " ") + x;
        }
        return t;
    };
    if (ours.merged != theirs.merged) {
        out.push_back("merged areas: ours " + join(ours.merged) + "; LibreOffice " + join(theirs.merged));
    }
    if (ours.comments != theirs.comments) {
        out.push_back("comments: ours " + join(ours.comments) + "; LibreOffice " + join(theirs.comments));
    }
    return out;
}

// The sequence on our engine, through the host calls the filling makes.
sheet::Workbook runOurs(const QString& templatePath, const Operations& ops) {
    EmbeddedHost host;
    host.Workbooks().Open(templatePath, nullptr, true);
    const auto area = [&](const std::string& text) {
        const QString a = QString::fromStdString(text);
        const bool rows = std::all_of(text.begin(), text.end(), [](char c) { return c == ':' || std::isdigit(c); });
        return rows ? host.Rows(a) : host.Range(a);
    };
    for (const std::string& op : ops) {
        const auto space = op.find(' ');
        const std::string verb = op.substr(0, space);
        const std::string rest = op.substr(space + 1);
        const std::string where = rest.substr(0, rest.find(' '));
        area(where).Select();
        if (verb == "copy") {
            host.Selection().Copy();
        } else if (verb == "insert") {
            host.Selection().Insert(rest.ends_with("right") ? xlShiftToRight : xlShiftDown);
            host.setCutCopyMode(false);
        } else {
            host.Selection().Delete(xlShiftUp);
        }
    }
    return host.workbookModel(1);
}

const QString kScript = QString::fromUtf8(MARKWELL_LO_OPERATIONS_SCRIPT);

// Runs the script on a jobs file; the parsed answer, or a failure saying what happened.
QJsonObject runScript(const QString& python, const QStringList& args, int timeoutMs, std::string& problem) {
    return test::runJsonScript(python, kScript, args, timeoutMs, problem);
}

} // namespace

TEST(LibreOfficeOperations, SpellingsAreBroughtTogetherButNotMeanings) {
    EXPECT_EQ(normaliseFormula("=IF(D13<>\"\";HLOOKUP(D13;GradeTable;2);\"\")"),
              "=IF(D13<>\"\",HLOOKUP(D13,GRADETABLE,2),\"\")");
    EXPECT_EQ(normaliseFormula("$'Grade book'.$B:$B;$'Grade book'.$12:$12"), "$B:$B,$12:$12");
    EXPECT_EQ(normaliseFormula("'Grade book'!$B:$B,'Grade book'!$12:$12"), "$B:$B,$12:$12");
    EXPECT_EQ(normaliseFormula("'it''s'!a1"), "A1");
    // Text in literals is left alone, separators, quotes and case included.
    EXPECT_EQ(normaliseFormula("=IF(a1;\"a;b 'x'.\";\"\"\"q\"\"\")"), "=IF(A1,\"a;b 'x'.\",\"\"\"q\"\"\")");
    // Absolute and relative references stay apart.
    EXPECT_NE(normaliseFormula("=SUM(G13:K13)/$H$10"), normaliseFormula("=SUM(G13:K13)/H10"));
    // Cut references, in LibreOffice's spellings and ours.
    EXPECT_EQ(normaliseFormula("=IF(OR(D#REF!;D#REF!>\"\");D#REF!;\"\")"), "=IF(OR(#REF!,#REF!>\"\"),#REF!,\"\")");
    EXPECT_EQ(normaliseFormula("=COUNTA(G#REF!:K#REF!)"), "=COUNTA(#REF!)");
    EXPECT_EQ(normaliseFormula("$'Grade book'.$B:$B;$'Grade book'.$A$#REF!:$XFD$#REF!"), "$B:$B,#REF!");
    EXPECT_EQ(normaliseFormula("=SUM(#REF!)+A1"), "=SUM(#REF!)+A1");
    // A reference that survived keeps its cells.
    EXPECT_EQ(normaliseFormula("=SUM(G6:K#REF!)"), "=SUM(G6:#REF!)");
}

TEST(LibreOfficeOperations, SequencesFollowTheFilling) {
    EXPECT_TRUE(columnCopies(5).empty());
    EXPECT_EQ(columnCopies(7).size(), 4u);
    EXPECT_TRUE(studentRows(2).empty());
    EXPECT_EQ(studentRows(1), Operations{"delete 14 up"});
    EXPECT_EQ(studentRows(3), (Operations{"copy 13:14", "insert 13:14 down", "delete 16 up"}));
    const Operations five = filling(7, 5);
    ASSERT_EQ(five.size(), 9u);
    EXPECT_EQ(five.front(), "copy J6:J19");
    EXPECT_EQ(five.back(), "delete 18 up");
}

TEST(LibreOfficeOperations, ScriptRefusesUnknownOperationsBeforeStarting) {
    const QString python = test::pythonWithUno();
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3-uno is not installed (apt-get install python3-uno)";
    }
    test::TempDir dir;
    dir.write(u"template.xls"_s, templateWorkbook());
    std::string problem;
    const QJsonObject answer =
        runScript(python, {dir.file(u"template.xls"_s), u"copy J6:J19"_s, u"paste J6"_s}, 30000, problem);
    ASSERT_TRUE(problem.empty()) << problem;
    EXPECT_TRUE(answer.value(u"error"_s).toString().contains(u"paste J6"_s))
        << answer.value(u"error"_s).toString().toStdString();
    const QJsonObject missing = runScript(python, {dir.file(u"nothing.xls"_s), u"delete 18 up"_s}, 30000, problem);
    EXPECT_TRUE(missing.value(u"error"_s).toString().contains(dir.file(u"nothing.xls"_s)));
}

TEST(LibreOfficeOperations, SameSheetAsLibreOfficeAfterEverySequence) {
    std::string missing;
    const QString python = test::pythonForLibreOffice(missing);
    if (python.isEmpty()) {
        GTEST_SKIP() << missing;
    }
    test::TempDir dir;
    dir.write(u"template.xls"_s, templateWorkbook());
    const QString templatePath = dir.file(u"template.xls"_s);

    QJsonArray jobs;
    for (const Sequence& s : sequences()) {
        QJsonArray ops;
        for (const std::string& op : s.operations) {
            ops.append(QString::fromStdString(op));
        }
        jobs.append(QJsonObject{{u"name"_s, QString::fromStdString(s.name)}, {u"operations"_s, ops}});
    }
    dir.write(u"jobs.json"_s,
              QJsonDocument(QJsonObject{{u"workbook"_s, templatePath}, {u"sequences"_s, jobs}}).toJson());

    // The script ends itself (and its soffice) after 100 s; the outer limit only guards the script.
    std::string problem;
    const QJsonObject answer = runScript(python, {u"--limit"_s, u"100"_s, dir.file(u"jobs.json"_s)}, 130000, problem);
    ASSERT_TRUE(problem.empty()) << problem;
    ASSERT_FALSE(answer.contains(u"error"_s)) << answer.value(u"error"_s).toString().toStdString();
    const QJsonArray results = answer.value(u"sequences"_s).toArray();
    ASSERT_EQ(results.size(), static_cast<qsizetype>(sequences().size()));

    for (std::size_t i = 0; i < sequences().size(); ++i) {
        const Sequence& seq = sequences()[i];
        SCOPED_TRACE(describe(seq));
        const SheetState theirs = libreOfficeState(results[static_cast<qsizetype>(i)].toObject());
        const SheetState ours = ourState(runOurs(templatePath, seq.operations));
        // Both sides must have read the whole template, or agreeing would prove nothing.
        if (seq.filling) {
            const auto formulas = std::count_if(theirs.cells.begin(), theirs.cells.end(),
                                                [](const auto& kv) { return kv.second.starts_with("="); });
            EXPECT_GE(formulas, 40);
            EXPECT_EQ(theirs.names.at("GradeTable"), "$E$2:$Q$4");
        }
        std::string all;
        for (const std::string& d : differences(ours, theirs)) {
            all += "\n  " + d;
        }
        EXPECT_TRUE(all.empty()) << "after " << seq.name << ":" << all;
        if (seq.name == "6 tests") {
            EXPECT_EQ(theirs.cells.at("H9"), "=COUNTA(G6:L6)"); // the copy did go in
        }
    }
}
