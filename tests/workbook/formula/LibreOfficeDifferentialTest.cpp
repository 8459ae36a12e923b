// Our recalculation against LibreOffice's, cell by cell and bit for bit. Two kinds of workbooks:
// classes made by "Create Template" whose student and class averages lie on every grade bound,
// and sheets of random formulas over every function and operator the engine computes, with the
// corners Gnumeric computes as LibreOffice does (RandomSheet::addCorners). Each is written with
// stale results, so LibreOffice must compute everything itself (lo_recalc.py recalculates it from
// scratch through python3-uno), and every formula result must equal ours.
//
// The random formulas keep clear of the places where LibreOffice deliberately departs from the
// spreadsheet convention we follow: it has no boolean type (TRUE is the number 1, so booleans in
// references count, compare and join as numbers), it refuses text arguments to SUM and MAX, it
// computes 0^0 and odd roots of negative numbers, it joins numbers from 10^15 on to text in its
// own notation, a lookup row beyond the table is #VALUE! there rather than #REF!, and a relative
// name's negative offsets (the cell to the left) are read as large positive ones. Where both
// programs give an error but not the same one (a formula that meets two errors may show either,
// and LibreOffice answers some nested lookups with its own Err:504), the cell is counted apart
// and not held against us.
//
// The run prints what it compared and what differed, by cause. MARKWELL_DIFFERENTIAL_SEED picks
// other random cases; MARKWELL_DIFFERENTIAL_KEEP names a folder that receives the workbooks.

#include "FillFixture.h"

#include "workbook/formula/Compare.h"
#include "workbook/formula/Parser.h"
#include "workbook/formula/Printer.h"
#include "workbook/formula/Recalc.h"
#include "workbook/sheet/Workbook.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace markwell::sheet {
// Values in failure messages.
void PrintTo(const Value& v, std::ostream* out) {
    *out << v.describe();
}
} // namespace markwell::sheet

namespace {

using Rng = std::mt19937;

int uniform(Rng& rng, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

bool chance(Rng& rng, double p) {
    return std::uniform_real_distribution<double>(0, 1)(rng) < p;
}

template <typename T> const T& pick(Rng& rng, const std::vector<T>& items) {
    return items[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(items.size()) - 1))];
}

std::string exact(double x) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", x);
    return buffer;
}

// ---------------------------------------------------------------------------------------------
// Classes on the grade bounds

// The lower bounds of the grades above F, in hundredths.
const std::vector<int> kBounds = {60, 63, 67, 70, 73, 77, 80, 83, 87, 90, 93, 97};

// `total` points spread over `parts` tests at random.
std::vector<int> split(Rng& rng, int total, int parts) {
    std::vector<int> cuts;
    for (int i = 1; i < parts; ++i) {
        cuts.push_back(uniform(rng, 0, total));
    }
    cuts.push_back(0);
    cuts.push_back(total);
    std::sort(cuts.begin(), cuts.end());
    std::vector<int> out;
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        out.push_back(cuts[i] - cuts[i - 1]);
    }
    return out;
}

// A class whose students' averages (in hundredths) have the mean `bound` exactly, some of them on
// bounds themselves, with a student without points and one with only zeros now and then.
GradebookSetup classOnBound(Rng& rng, int bound) {
    const int tests = uniform(rng, 1, 7);
    const int scale = uniform(rng, 1, 3); // possible points in all: 100, 200 or 300
    GradebookSetup s;
    s.options = {u"Differential School"_s, u"Teacher"_s, u"Class"_s, u"2026"_s};
    // At least one possible point per test.
    const std::vector<int> possible = split(rng, 100 * scale - tests, tests);
    for (int t = 0; t < tests; ++t) {
        s.tests.push_back({u"Quiz %1"_s.arg(t + 1), QString::number(possible[static_cast<std::size_t>(t)] + 1)});
    }
    s.pointsCount = tests;
    const int students = uniform(rng, 2, 9);
    std::vector<int> averages;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        averages.clear();
        int rest = students * bound;
        for (int i = 0; i + 1 < students; ++i) {
            const int a = chance(rng, 0.3) ? pick(rng, kBounds) : uniform(rng, 45, 110);
            averages.push_back(a);
            rest -= a;
        }
        if (rest >= 30 && rest <= 120) {
            averages.push_back(rest);
            break;
        }
    }
    if (static_cast<int>(averages.size()) != students) { // the mean itself always fits
        averages.assign(static_cast<std::size_t>(students), bound);
    }
    std::shuffle(averages.begin(), averages.end(), rng);
    int number = 0;
    const auto addStudent = [&](const QStringList& points) {
        ++number;
        s.students.push_back({u"Student %1"_s.arg(number), u"%1"_s.arg(1000 + number), points});
    };
    for (const int a : averages) {
        QStringList points;
        for (const int p : split(rng, a * scale, tests)) {
            points << QString::number(p);
        }
        addStudent(points);
    }
    if (chance(rng, 0.3)) {
        addStudent(QStringList(tests, QString()));
    }
    if (chance(rng, 0.3)) {
        addStudent(QStringList(tests, u"0"_s));
    }
    return s;
}

// One test of 100 points, two students with 87 and 99: the class average is 0.9299999999999999
// in binary, on the bound of "A".
GradebookSetup classOfTheReport() {
    GradebookSetup s;
    s.options = {u"School"_s, u"Teacher"_s, u"Class"_s, u"2026"_s};
    s.tests = {{u"Final"_s, u"100"_s}};
    s.pointsCount = 1;
    s.students = {{u"Ann"_s, u"1"_s, {u"87"_s}}, {u"Bob"_s, u"2"_s, {u"99"_s}}};
    return s;
}

// ---------------------------------------------------------------------------------------------
// Random formulas

// The data the random formulas read, on the sheet "Data":
//   A1:H48   numbers of every kind, texts, numeric texts, #N/A and empty cells; column H is
//            numbers only, so sums see long runs of adjacent numbers
//   J1:V2    the grade table: ascending bounds over letters
//   X1:Y24   texts in collation order (with case variants) over numbers
//   AA1:AB30 ascending numbers over texts
//   I1:I48   formulas through names relative to the cell that uses them
//   AD1:AK.. the random formulas
class RandomSheet {
public:
    explicit RandomSheet(Rng& rng) : m_rng(rng) {
        m_wb.sheets.emplace_back();
        m_wb.sheets[0].name = "Data";
        fillData();
        fillTables();
        defineNames();
    }

    // Adds `count` random formulas and the families that check one rule each.
    void addFormulas(int count) {
        for (int i = 0; i < count; ++i) {
            const int kind = uniform(m_rng, 0, 9);
            addFormula(kind < 5 ? number(0) : kind < 8 ? condition(0) : text(0));
        }
        // Text order and equality, on pairs of texts of the data.
        for (int i = 0; i < count / 6; ++i) {
            const std::string a = pick(m_rng, m_textCells), b = pick(m_rng, m_textCells);
            addFormula(a + pick(m_rng, std::vector<std::string>{"<", "=", ">", "<>", "<=", ">="}) + b);
        }
        // ROUND on values with ties and long fractions.
        for (int i = 0; i < count / 10; ++i) {
            addFormula("ROUND(" + pick(m_rng, m_numberCells) + "," + std::to_string(uniform(m_rng, -3, 16)) + ")");
        }
        // Comparisons of nearly equal numbers.
        for (int i = 0; i < count / 10; ++i) {
            const double x = nearBound();
            addFormula(exact(x) + pick(m_rng, std::vector<std::string>{"=", "<", ">=", "<>"}) +
                       exact(pick(m_rng, kBoundValues)));
        }
        // Sums and averages over the long runs of column H, and over whole blocks.
        for (int i = 0; i < count / 10; ++i) {
            const int top = uniform(m_rng, 1, 40);
            const std::string fn = chance(m_rng, 0.6) ? "SUM" : "AVERAGE";
            addFormula(fn + "(H" + std::to_string(top) + ":H" + std::to_string(uniform(m_rng, top, 48)) + ")");
            addFormula(fn + "(" + area() + "," + area() + ")");
        }
    }

    // Corners where a plain reading goes wrong, each as LibreOffice and Gnumeric both compute it:
    // ROUND to a whole number just below a half, wildcards in exact lookups, texts that arithmetic
    // reads as numbers, a text cell that is no number before an error cell.
    void addCorners() {
        const std::vector<std::pair<std::string, sheet::Value>> cells = {
            {"abc", sheet::ErrorCode::NA}, {"a*c", 1.0}, {"what?", 2.0}, {"x~y", 3.0}, {"$1,000.50", 4.0}, {"aı", 5.0}};
        for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
            setValue(i, 38, cells[static_cast<std::size_t>(i)].first); // AM
            setValue(i, 39, cells[static_cast<std::size_t>(i)].second);
        }
        // Separated by | and line ends.
        const std::string formulas =
            R"list(ROUND(2.4999999999999996,0)|ROUND(1234.4999999999998,0)|ROUND(-0.49999999999999994,0)|
VLOOKUP("a~*c",$AM$1:$AN$6,2,FALSE)|VLOOKUP("WHAT~?",$AM$1:$AN$6,2,FALSE)|
VLOOKUP("x~~y",$AM$1:$AN$6,2,FALSE)|VLOOKUP("?*",$AM$1:$AN$6,2,FALSE)|
VLOOKUP("*~?",$AM$1:$AN$6,2,FALSE)|VLOOKUP("*I",$AM$1:$AN$6,2,FALSE)|
"$5"+0|"-$5"*2|"5$"+0|"1,000"*1|"(5)"+0|"($1,000.5)"+0|AM5+0|
"1/2"-"1/1"|"1 1/2"+0|"-1 3/4"+0|"12:00:00"+0|"1:30:45.5"+0|"25:00"+0|"9:30 am"+0|"3 PM"+0|"-0:30"+0|
"2026-01-15"+0|"1/15/2026 6:00 PM"+0|"1/2/29"+0|"1/2/30"+0|"15-Jan-26"+0|"Jan 15, 2026"+0|
"january 2026"+0|"TRUE"*2|"(-5)"+0|"15/1/2026"+0|AM1+AN1|AN1+AM1|AM1*AN1|AM1&AN1)list";
        std::size_t at = 0;
        while (at < formulas.size()) {
            const std::size_t end = std::min(formulas.find_first_of("|\n", at), formulas.size());
            if (end > at) {
                addFormula(formulas.substr(at, end - at));
            }
            at = end + 1;
        }
        // Patterns made of the text table's keys (but for those with a "ß" or "İ", which Gnumeric's
        // wildcards do not find even as themselves).
        for (std::size_t i = 0; i < m_tableKeys.size(); i += 3) {
            const std::string& key = m_tableKeys[i];
            if (key.find("ß") != std::string::npos || key.find("İ") != std::string::npos) {
                continue;
            }
            const std::string table = ",$X$1:$Y$24,2,FALSE)";
            addFormula("VLOOKUP(\"" + key + "*\"" + table);
            addFormula("VLOOKUP(\"*" + key + "\"" + table);
            if (static_cast<unsigned char>(key[0]) < 0x80) {
                addFormula("VLOOKUP(\"?" + key.substr(1) + "\"" + table);
            }
        }
    }

    sheet::Workbook& workbook() { return m_wb; }
    int formulas() const { return m_formulas; }

private:
    static constexpr int kDataRows = 48;
    static constexpr int kFirstFormulaColumn = 29; // AD
    static constexpr int kFormulaColumns = 8;

    const std::vector<double> kBoundValues = {0, 0.6, 0.63, 0.67, 0.7, 0.73, 0.77, 0.8, 0.83, 0.87, 0.9, 0.93, 0.97};

    void setValue(int row, int col, sheet::Value v) { m_wb.sheets[0].cellAt(row, col).value = std::move(v); }

    static std::string a1(int row, int col) { return sheet::toA1(sheet::CellPos{row, col}); }

    double nearBound() {
        const double b = pick(m_rng, kBoundValues);
        switch (uniform(m_rng, 0, 3)) {
        case 0:
            return std::nextafter(b, 1.0);
        case 1:
            return std::nextafter(std::nextafter(b, 0.0), 0.0);
        case 2:
            return b + 1e-14;
        default:
            return b * 0.999;
        }
    }

    double randomNumber() {
        switch (uniform(m_rng, 0, 5)) {
        case 0:
        case 1:
            return uniform(m_rng, 0, 10000) / 100.0;
        case 2:
            return std::uniform_real_distribution<double>(-1, 1)(m_rng) * std::pow(10.0, uniform(m_rng, -8, 6));
        case 3:
            return nearBound();
        case 4:
            return uniform(m_rng, -50, 50) / 10.0;
        default:
            return pick(m_rng,
                        std::vector<double>{0.1,  0.2,        0.3,  -0.3,  1.0 / 3, 2.0 / 3, 16.51, 0.87,
                                            0.99, 2.5,        -2.5, 0.285, 1.005,   2.675,   1e-5,  4503599627370495.5,
                                            0.5,  1e15 + 0.5, 1e8,  -1e8,  0});
        }
    }

    std::string randomWord() {
        static const std::vector<std::string> letters = {
            "a", "b", "c", "e", "é", "É", "E", "z", "Z", "ä", "Ä", "ö", "Ö", "ü", "Ü", "ß", "ø", "æ", "å", "ç", "ñ",
            "σ", "ς", "Σ", "ω", "Ω", "ı", "İ", "i", "I", "ǅ", "ǆ", "_", "-", "'", " ", ".", "!", "0", "1", "9"};
        std::string w;
        const int length = uniform(m_rng, 1, 5);
        for (int i = 0; i < length; ++i) {
            w += pick(m_rng, letters);
        }
        return w;
    }

    // The same word with the case of its ASCII letters flipped, or another word.
    std::string variantOf(const std::string& w) {
        std::string v = w;
        for (char& c : v) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return v;
    }

    void fillData() {
        for (int col = 0; col < 8; ++col) {
            for (int row = 0; row < kDataRows; ++row) {
                const double k = std::uniform_real_distribution<double>(0, 1)(m_rng);
                const std::string at = a1(row, col);
                if (col == 7 || k < 0.55) {
                    const double x = randomNumber();
                    setValue(row, col, x);
                    m_numberCells.push_back(at);
                    if (std::fabs(x) >= 1e-9 && std::fabs(x) < 1e12) {
                        m_plainNumberCells.push_back(at);
                    }
                } else if (k < 0.75) {
                    const std::string w =
                        m_words.empty() || chance(m_rng, 0.7) ? randomWord() : variantOf(pick(m_rng, m_words));
                    m_words.push_back(w);
                    setValue(row, col, w);
                    m_textCells.push_back(at);
                } else if (k < 0.78) {
                    setValue(row, col, pick(m_rng, std::vector<std::string>{"12", "3.5", "-4", "0.25"}));
                    m_textCells.push_back(at);
                } else if (k < 0.80) {
                    setValue(row, col, sheet::ErrorCode::NA);
                }
                m_anyCells.push_back(at);
            }
        }
    }

    void fillTables() {
        const std::vector<std::string> letters = {"F",  "D-", "D",  "D+", "C-", "C", "C+",
                                                  "B-", "B",  "B+", "A-", "A",  "A+"};
        for (int i = 0; i < 13; ++i) {
            setValue(0, 9 + i, kBoundValues[static_cast<std::size_t>(i)]);
            setValue(1, 9 + i, letters[static_cast<std::size_t>(i)]);
        }
        // Texts in our collation order: if LibreOffice ordered them otherwise, the approximate
        // lookups would find other rows.
        std::vector<std::string> keys;
        while (keys.size() < 24) {
            const std::string w = randomWord();
            if (std::none_of(keys.begin(), keys.end(),
                             [&](const std::string& k) { return formula::collateText(k, w) == 0; })) {
                keys.push_back(w);
            }
        }
        std::sort(keys.begin(), keys.end(),
                  [](const std::string& a, const std::string& b) { return formula::collateText(a, b) < 0; });
        for (int i = 0; i < 24; ++i) {
            setValue(i, 23, keys[static_cast<std::size_t>(i)]);
            setValue(i, 24, uniform(m_rng, 1, 999) / 10.0);
            m_tableKeys.push_back(keys[static_cast<std::size_t>(i)]);
        }
        std::vector<double> numbers;
        while (numbers.size() < 30) {
            const double x = uniform(m_rng, -500, 2000) / 10.0;
            if (std::find(numbers.begin(), numbers.end(), x) == numbers.end()) {
                numbers.push_back(x);
            }
        }
        std::sort(numbers.begin(), numbers.end());
        for (int i = 0; i < 30; ++i) {
            setValue(i, 26, numbers[static_cast<std::size_t>(i)]);
            setValue(i, 27, randomWord());
        }
    }

    // Names whose references count from the cell that uses them, as written from A1, used in
    // column I: the cell below, the text table (X) and the number table (AA) of the same row,
    // column A of the same row. (LibreOffice 7.4 reads a negative offset, such as "the cell to
    // the left", as a large positive one; our own tests and Gnumeric check those.)
    void defineNames() {
        formula::ParseOptions options;
        options.workbook = &m_wb;
        m_wb.names.push_back({"Below", -1, formula::parseFormula("Data!A2", options), false});
        m_wb.names.push_back({"InX", -1, formula::parseFormula("Data!P1", options), false});
        m_wb.names.push_back({"InAA", -1, formula::parseFormula("Data!S1", options), false});
        m_wb.names.push_back({"RowStart", -1, formula::parseFormula("Data!$A1", options), false});
        const std::vector<std::string> uses = {
            "InAA*2", "Below+1", "RowStart", "SUM(InAA,RowStart)", "IF(InX>\"m\",\"late\",\"early\")", "InX&\"!\""};
        for (int row = 0; row < kDataRows; ++row) {
            setFormula(row, 8, pick(m_rng, uses));
        }
    }

    void setFormula(int row, int col, const std::string& text) {
        formula::ParseOptions options;
        options.workbook = &m_wb;
        m_wb.sheets[0].cellAt(row, col).formula = formula::parseFormula(text, options);
        ++m_formulas;
    }

    void addFormula(const std::string& text) {
        const int n = m_placed++;
        setFormula(n / kFormulaColumns, kFirstFormulaColumn + n % kFormulaColumns, text);
    }

    std::string area() {
        const int c1 = uniform(m_rng, 0, 7), c2 = std::min(7, c1 + uniform(m_rng, 0, 3));
        const int r1 = uniform(m_rng, 0, kDataRows - 1), r2 = std::min(kDataRows - 1, r1 + uniform(m_rng, 0, 30));
        return a1(r1, c1) + ":" + a1(r2, c2);
    }

    std::string numberLiteral() {
        const double x = randomNumber();
        return x < 0 ? "(" + exact(x) + ")" : exact(x);
    }

    // Arguments of the list functions: areas, single cells, numbers, now and then an omitted one.
    std::string listArguments(int depth) {
        std::string out;
        const int count = uniform(m_rng, 1, 3);
        for (int i = 0; i < count; ++i) {
            if (i) {
                out += ",";
            }
            const int k = uniform(m_rng, 0, 9);
            if (k < 5) {
                out += area();
            } else if (k < 7) {
                out += pick(m_rng, m_anyCells);
            } else if (k < 9 || count == 1) {
                out += number(depth + 1);
            }
        }
        return out;
    }

    std::string number(int depth) {
        const int k = uniform(m_rng, 0, depth >= 3 ? 2 : 14);
        switch (k) {
        case 0:
            return numberLiteral();
        case 1:
        case 2:
            return pick(m_rng, chance(m_rng, 0.8) ? m_numberCells : m_anyCells);
        case 3:
            return number(depth + 1) + pick(m_rng, std::vector<std::string>{"+", "-", "*"}) + number(depth + 1);
        case 4:
            return "(" + number(depth + 1) + ")/" + pick(m_rng, std::vector<std::string>{"3", "7", "100", "0.1", "8"});
        case 5:
            return pick(m_rng, std::vector<std::string>{"SUM", "SUM", "AVERAGE", "MAX", "MIN", "COUNT", "COUNTA"}) +
                   "(" + listArguments(depth) + ")";
        case 6:
            return "ROUND(" + number(depth + 1) + "," +
                   pick(m_rng, std::vector<std::string>{"0", "1", "2", "3", "-1", "-2", "5", "12", "1.9", ""}) + ")";
        case 7:
            return "IF(" + condition(depth + 1) + "," + number(depth + 1) + "," + number(depth + 1) + ")";
        case 8:
            return "HLOOKUP(" + number(depth + 1) + ",$J$1:$V$2,1" +
                   pick(m_rng, std::vector<std::string>{"", ",TRUE"}) + ")";
        case 9:
            return "VLOOKUP(" + (chance(m_rng, 0.5) ? "\"" + pick(m_rng, m_tableKeys) + "\"" : text(depth + 1)) +
                   ",$X$1:$Y$24,2" + pick(m_rng, std::vector<std::string>{"", ",FALSE", ",0", ","}) + ")";
        case 10:
            return "-" + number(depth + 1);
        case 11:
            return number(depth + 1) + "%";
        case 12:
            return "(" + number(depth + 1) + ")^" + pick(m_rng, std::vector<std::string>{"2", "3", "1"});
        case 13:
            return "+" + number(depth + 1);
        default:
            return "SUM(" + area() + ")-" + "SUM(" + area() + ")";
        }
    }

    std::string comparison() { return pick(m_rng, std::vector<std::string>{"=", "<>", "<", "<=", ">", ">="}); }

    std::string condition(int depth) {
        const int k = uniform(m_rng, 0, depth >= 3 ? 1 : 6);
        switch (k) {
        case 0:
            return number(depth + 1) + comparison() + number(depth + 1);
        case 1:
            return text(depth + 1) + comparison() + text(depth + 1);
        case 2:
        case 3: {
            std::string args;
            const int count = uniform(m_rng, 1, 3);
            for (int i = 0; i < count; ++i) {
                if (i) {
                    args += ",";
                }
                const int a = uniform(m_rng, 0, 5);
                args += a < 3 ? condition(depth + 1) : a < 5 || count == 1 ? area() : "";
            }
            return pick(m_rng, std::vector<std::string>{"AND", "OR"}) + "(" + args + ")";
        }
        case 4:
            return "NOT(" + condition(depth + 1) + ")";
        case 5:
            return pick(m_rng, m_anyCells) + comparison() + "\"\"";
        default:
            return pick(m_rng, std::vector<std::string>{"TRUE", "FALSE"});
        }
    }

    std::string text(int depth) {
        const int k = uniform(m_rng, 0, depth >= 3 ? 1 : 6);
        switch (k) {
        case 0:
            return "\"" + randomWord() + "\"";
        case 1:
            return pick(m_rng, m_textCells);
        case 2:
            return text(depth + 1) + "&" + text(depth + 1);
        case 3:
            return pick(m_rng, m_plainNumberCells) + "&\"" + randomWord() + "\"";
        case 4: // numbers of moderate size only: from 10^15 on, LibreOffice joins them in other words
            return "ROUND(" + pick(m_rng, m_plainNumberCells) +
                   pick(m_rng, std::vector<std::string>{"*3", "/7", "+0.1", "", "-1E-7"}) + ",2)&\"\"";
        case 5:
            return "IF(" + condition(depth + 1) + "," + text(depth + 1) + "," + text(depth + 1) + ")";
        default:
            return "HLOOKUP(" + number(depth + 1) + ",$J$1:$V$2,2)";
        }
    }

    Rng& m_rng;
    sheet::Workbook m_wb;
    std::vector<std::string> m_numberCells, m_plainNumberCells, m_textCells, m_anyCells, m_words, m_tableKeys;
    int m_placed = 0;
    int m_formulas = 0;
};

// ---------------------------------------------------------------------------------------------
// Comparing

// Our error for a LibreOffice error number, as LibreOffice's own .xls export maps them.
std::optional<sheet::ErrorCode> errorOfLibreOffice(int code) {
    switch (code) {
    case 532:
        return sheet::ErrorCode::Div0;
    case 502:
    case 504:
    case 519:
        return sheet::ErrorCode::Value;
    case 503:
        return sheet::ErrorCode::Num;
    case 521:
        return sheet::ErrorCode::Null;
    case 524:
        return sheet::ErrorCode::Ref;
    case 525:
        return sheet::ErrorCode::Name;
    case 32767:
        return sheet::ErrorCode::NA;
    default:
        return std::nullopt;
    }
}

std::string describeTheirs(const QJsonObject& cell) {
    if (cell.contains(u"number"_s)) {
        return exact(cell.value(u"number"_s).toDouble());
    }
    if (cell.contains(u"text"_s)) {
        return '"' + cell.value(u"text"_s).toString().toStdString() + '"';
    }
    const auto code = errorOfLibreOffice(cell.value(u"error"_s).toInt());
    return code ? std::string(sheet::errorText(*code)) : "Err:" + std::to_string(cell.value(u"error"_s).toInt());
}

std::string describeOurs(const sheet::Value& v) {
    return v.isNumber() ? exact(v.number()) : v.describe();
}

// The outermost function or operator of a formula, to say where a difference arose.
std::string headOf(const formula::NodePtr& root) {
    const formula::Node* n = root.get();
    while (n->kind == formula::NodeKind::Paren) {
        n = n->args[0].get();
    }
    switch (n->kind) {
    case formula::NodeKind::Function:
        return n->text;
    case formula::NodeKind::Binary: {
        static const char* ops[] = {"+", "-", "*", "/", "^", "&", "=", "<>", "<", "<=", ">", ">=", ","};
        return std::string("operator ") + ops[static_cast<int>(n->binaryOp)];
    }
    case formula::NodeKind::Unary:
        return "unary operator";
    case formula::NodeKind::Name:
        return "name";
    default:
        return "reference or constant";
    }
}

// Why two results differ, or "" when they are the same.
std::string differenceOf(const sheet::Value& ours, const QJsonObject& theirs) {
    if (theirs.contains(u"number"_s)) {
        const double x = theirs.value(u"number"_s).toDouble();
        if (ours.isNumber()) {
            const double y = ours.number();
            if (x == y) {
                return {};
            }
            return std::fabs(x - y) <= 1e-12 * std::max(1.0, std::fabs(x)) ? "numbers differ in the last bits"
                                                                           : "numbers differ";
        }
        if (ours.isBoolean()) { // LibreOffice's booleans are the numbers 1 and 0
            return (x == 1.0 && ours.boolean()) || (x == 0.0 && !ours.boolean()) ? "" : "booleans differ";
        }
        return "ours is no number";
    }
    if (theirs.contains(u"text"_s)) {
        if (!ours.isText()) {
            return "ours is no text";
        }
        return ours.text() == theirs.value(u"text"_s).toString().toStdString() ? "" : "texts differ";
    }
    const auto code = errorOfLibreOffice(theirs.value(u"error"_s).toInt());
    if (!ours.isError()) {
        return "ours is no error";
    }
    return code && *code == ours.error() ? "" : "different errors";
}

struct Tally {
    int compared = 0;
    std::map<std::string, int> causes; // cause -> count
    std::vector<std::string> examples, toleratedExamples;
    int unexplained = 0;
};

// A difference we do not hold against ourselves: both give an error, another one.
bool tolerated(const std::string& cause) {
    return cause.starts_with("different errors");
}

// Compares every formula result of a workbook; `compared` and `differ` count its cells.
void compareBook(const std::string& label, const sheet::Workbook& ours, const QJsonObject& theirs, Tally& tally,
                 int& compared, int& differ) {
    const QJsonObject cells = theirs.value(u"cells"_s).toObject();
    ours.sheets.front().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        if (!cell.formula) {
            return;
        }
        const std::string at = sheet::toA1(sheet::CellPos{r, c});
        ++compared;
        ++tally.compared;
        const QJsonObject their = cells.value(QString::fromStdString(at)).toObject();
        if (their.isEmpty()) {
            tally.causes["LibreOffice gave no result"]++;
            tally.unexplained++;
            differ++;
            return;
        }
        const std::string why = differenceOf(cell.value, their);
        if (why.empty()) {
            return;
        }
        const std::string cause = why + " (" + headOf(cell.formula) + ")";
        tally.causes[cause]++;
        const std::string example = label + " " + at + " " + formula::printFormula(cell.formula, &ours) + ": ours " +
                                    describeOurs(cell.value) + ", LibreOffice " + describeTheirs(their);
        if (!tolerated(cause)) {
            tally.unexplained++;
            differ++;
            if (tally.examples.size() < 25) {
                tally.examples.push_back(example);
            }
        } else if (tally.toleratedExamples.size() < 5) {
            tally.toleratedExamples.push_back(example);
        }
    });
}

// Writes the workbook with stale results; a copy with ours goes to MARKWELL_DIFFERENTIAL_KEEP, a
// folder, when that is set, for a closer look at a difference.
QString write(const test::TempDir& dir, const QString& name, const sheet::Workbook& book) {
    const xls::Bytes bytes = xls::writeXls(test::withStaleResults(book));
    dir.write(name, QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    if (const char* keep = std::getenv("MARKWELL_DIFFERENTIAL_KEEP")) {
        const xls::Bytes ours = xls::writeXls(book);
        QFile copy(QDir(QString::fromLocal8Bit(keep)).filePath(name));
        if (copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            copy.write(reinterpret_cast<const char*>(ours.data()), static_cast<qsizetype>(ours.size()));
        }
    }
    return dir.file(name);
}

unsigned seed() {
    const char* text = std::getenv("MARKWELL_DIFFERENTIAL_SEED");
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 20260612u;
}

constexpr int kClassesPerBound = 3;
constexpr int kRandomSheets = 2;
constexpr int kFormulasPerSheet = 900;

} // namespace

// A name relative to the cell that uses it ("the cell to the left", written as IV1 from A1)
// stays relative through our own file, and Gnumeric, recalculating our file, computes what we do.
TEST(LibreOfficeDifferential, RelativeNamesAsGnumericReadsThem) {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    wb.sheets[0].name = "Data";
    formula::ParseOptions options;
    options.workbook = &wb;
    wb.names.push_back({"LeftCell", -1, formula::parseFormula("Data!IV1", options), false});
    wb.sheets[0].cellAt(4, 0).value = sheet::Value(43.0);
    wb.sheets[0].cellAt(4, 1).formula = formula::parseFormula("=LeftCell", options);
    wb.sheets[0].cellAt(9, 5).value = sheet::Value(7.0);
    wb.sheets[0].cellAt(9, 6).formula = formula::parseFormula("=LeftCell*2", options);
    formula::recalculate(wb);
    EXPECT_EQ(wb.sheets[0].cell(4, 1)->value, sheet::Value(43.0));
    EXPECT_EQ(wb.sheets[0].cell(9, 6)->value, sheet::Value(14.0));

    const xls::Bytes bytes = xls::writeXls(wb);
    sheet::Workbook back = xls::readXls(xls::ByteView(bytes.data(), bytes.size())).workbook;
    EXPECT_EQ(formula::printFormula(back.names.at(0).refersTo, &back), "=Data!IV1");
    formula::recalculate(back);
    EXPECT_EQ(back.sheets[0].cell(4, 1)->value, sheet::Value(43.0));

    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    test::TempDir dir;
    const QString ours = write(dir, u"names.xls"_s, wb);
    const QString theirs = dir.file(u"gnumeric.xls"_s);
    const test::ToolRun r =
        test::runTool(ssconvert, {u"--recalc"_s, u"-T"_s, u"Gnumeric_Excel:excel_biff8"_s, ours, theirs});
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    const QByteArray recalculated = dir.read(u"gnumeric.xls"_s);
    const sheet::Workbook gnumeric =
        xls::readXls(xls::ByteView(reinterpret_cast<const std::uint8_t*>(recalculated.constData()),
                                   static_cast<std::size_t>(recalculated.size())))
            .workbook;
    EXPECT_EQ(gnumeric.sheets[0].cell(4, 1)->value, sheet::Value(43.0));
    EXPECT_EQ(gnumeric.sheets[0].cell(9, 6)->value, sheet::Value(14.0));
}

TEST(LibreOfficeDifferential, OurResultsAreLibreOfficesRecalculation) {
    std::string missing;
    const QString python = test::pythonForLibreOffice(missing);
    if (python.isEmpty()) {
        GTEST_SKIP() << missing;
    }
    Rng rng(seed());
    test::TempDir dir;
    QElapsedTimer clock;
    clock.start();

    struct Book {
        std::string label;
        sheet::Workbook ours;
        bool isClass = false;
    };
    std::vector<Book> books;
    QJsonArray files;

    // Classes made by the program itself, with our results as it stores them.
    std::vector<GradebookSetup> classes = {classOfTheReport()};
    for (const int bound : kBounds) {
        for (int i = 0; i < kClassesPerBound; ++i) {
            classes.push_back(classOnBound(rng, bound));
        }
    }
    for (std::size_t i = 0; i < classes.size(); ++i) {
        test::FillFixture run;
        sheet::Workbook book = run.fill(classes[i]);
        ASSERT_FALSE(book.sheets.empty());
        const QString name = u"class%1.xls"_s.arg(i);
        files.append(write(dir, name, book));
        books.push_back({name.toStdString(), std::move(book), true});
    }
    // The report's class: the average on the bound of "A" gets "A" (E17), with grade points 4.
    EXPECT_EQ(books.front().ours.sheets[0].cell(16, 4)->value, sheet::Value("A"));

    int randomFormulas = 0;
    for (int i = 0; i < kRandomSheets; ++i) {
        RandomSheet sheet(rng);
        sheet.addFormulas(kFormulasPerSheet);
        sheet.addCorners();
        randomFormulas += sheet.formulas();
        formula::recalculate(sheet.workbook());
        const QString name = u"formulas%1.xls"_s.arg(i);
        files.append(write(dir, name, sheet.workbook()));
        books.push_back({name.toStdString(), std::move(sheet.workbook()), false});
    }

    const qint64 madeMs = clock.restart();
    dir.write(u"jobs.json"_s, QJsonDocument(QJsonObject{{u"workbooks"_s, files}}).toJson());
    std::string problem;
    const QJsonObject answer = test::runJsonScript(python, QString::fromUtf8(MARKWELL_LO_RECALC_SCRIPT),
                                                   {u"--limit"_s, u"150"_s, dir.file(u"jobs.json"_s)}, 180000, problem);
    ASSERT_TRUE(problem.empty()) << problem;
    if (answer.value(u"missing"_s).toBool()) {
        GTEST_SKIP() << answer.value(u"error"_s).toString().toStdString();
    }
    ASSERT_FALSE(answer.contains(u"error"_s)) << answer.value(u"error"_s).toString().toStdString();
    const QJsonArray results = answer.value(u"workbooks"_s).toArray();
    ASSERT_EQ(results.size(), static_cast<qsizetype>(books.size()));

    const qint64 libreOfficeMs = clock.elapsed();
    Tally tally;
    int classCells = 0, formulaCells = 0, classDiffer = 0, formulaDiffer = 0;
    for (std::size_t i = 0; i < books.size(); ++i) {
        compareBook(books[i].label, books[i].ours, results[static_cast<qsizetype>(i)].toObject(), tally,
                    books[i].isClass ? classCells : formulaCells, books[i].isClass ? classDiffer : formulaDiffer);
    }

    std::cout << "LibreOffice differential (seed " << seed() << "): " << tally.compared << " formula results compared, "
              << classCells << " in " << classes.size() << " classes and " << formulaCells << " in " << kRandomSheets
              << " sheets of " << randomFormulas << " random formulas; " << tally.unexplained << " differ ("
              << classDiffer << " in the classes, " << formulaDiffer << " among the random formulas)";
    int toleratedCount = 0;
    for (const auto& [cause, count] : tally.causes) {
        if (tolerated(cause)) {
            toleratedCount += count;
        }
    }
    std::cout << " (and in " << toleratedCount << " both give another error); made in " << madeMs / 1000.0
              << " s, recalculated by LibreOffice in " << libreOfficeMs / 1000.0 << " s (starting it "
              << answer.value(u"seconds"_s).toObject().value(u"start"_s).toDouble() << " s)\n";
    for (const auto& [cause, count] : tally.causes) {
        std::cout << "  " << count << " x " << cause << "\n";
    }
    for (const std::string& e : tally.toleratedExamples) {
        std::cout << "  for example " << e << "\n";
    }
    std::string examples;
    for (const std::string& e : tally.examples) {
        examples += "\n  " + e;
    }
    EXPECT_EQ(tally.unexplained, 0) << examples;
    // Both kinds of workbooks were really compared.
    EXPECT_GT(classCells, 30 * static_cast<int>(classes.size()));
    EXPECT_GT(formulaCells, kRandomSheets * kFormulasPerSheet);
}
