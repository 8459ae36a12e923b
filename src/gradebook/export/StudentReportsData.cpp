// Reading the student reports from a filled gradebook's cells.

#include "gradebook/export/StudentReports.h"

#include "common/ErrorReport.h"
#include "workbook/formula/Evaluator.h"
#include "workbook/formula/Parser.h"
#include "workbook/render/NumberFormatter.h"
#include "workbook/render/PrintLayout.h"

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace markwell::exporting {

namespace {

// Rows and columns of the filled gradebook, counted from 0.
constexpr int kSchoolRow = 4, kTeacherRow = 7, kClassRow = 8, kPeriodRow = 9;
constexpr int kTestNameRow = 5, kPossibleRow = 6, kTotalPossibleRow = 9;
constexpr int kFirstStudentRow = 12;
constexpr int kNameColumn = 1, kIdColumn = 2, kAverageColumn = 3, kLetterColumn = 4, kGradePointsColumn = 5;
constexpr int kFirstTestColumn = 6, kTotalPossibleColumn = 7;
// The class summary: its caption row, then the average, highest and lowest rows, the last of
// them the print area's last row.
constexpr int kSummaryCaptionFromEnd = 3, kSummaryAverageFromEnd = 2;

class Cells {
public:
    explicit Cells(const sheet::Workbook& workbook) : m_book(workbook), m_sheet(workbook.sheets.front()) {}

    const sheet::Value& value(int row, int col) const {
        static const sheet::Value kEmpty{};
        const sheet::Cell* c = m_sheet.cell(row, col);
        return c ? c->value : kEmpty;
    }

    // The text the cell shows in its own number format.
    QString shown(int row, int col) const {
        const sheet::Cell* c = m_sheet.cell(row, col);
        if (!c || c->value.isEmpty()) {
            return {};
        }
        const std::string& pattern =
            c->format < m_book.formats.size() ? m_book.formats[c->format].numberFormat : std::string("General");
        return shownAs(c->value, pattern);
    }

    // The text as typed: numbers in the General format, whatever the cell's pattern rounds them to.
    QString typed(int row, int col) const { return shownAs(value(row, col), "General"); }

    QString shownAs(const sheet::Value& v, const std::string& pattern) const {
        if (v.isEmpty()) {
            return {};
        }
        auto it = m_formatters.find(pattern);
        if (it == m_formatters.end()) {
            it = m_formatters.emplace(pattern, render::NumberFormatter(pattern, m_book.date1904)).first;
        }
        return QString::fromStdString(it->second.format(v).text).trimmed();
    }

    const sheet::Sheet& sheet() const { return m_sheet; }

private:
    const sheet::Workbook& m_book;
    const sheet::Sheet& m_sheet;
    mutable std::map<std::string, render::NumberFormatter> m_formatters;
};

[[noreturn]] void notAGradebook(const QString& why) {
    throw Failure(u"The workbook has no student reports to print: %1"_s.arg(why));
}

QString percentOf(const Cells& cells, const sheet::Value& points, const sheet::Value& possible) {
    if (!points.isNumber() || !possible.isNumber() || possible.number() <= 0) {
        return {};
    }
    return cells.shownAs(sheet::Value(points.number() / possible.number()), "0%");
}

} // namespace

ClassReports readClassReports(const sheet::Workbook& workbook) {
    if (workbook.sheets.empty()) {
        notAGradebook(u"it has no sheets."_s);
    }
    const render::PrintRanges ranges = render::printRangesOf(workbook, 0);
    if (ranges.areas.size() != 1 || ranges.areas.front().first != sheet::CellPos{kSchoolRow, kNameColumn}) {
        notAGradebook(u"its print area does not cover a gradebook's table from B5."_s);
    }
    const sheet::Area table = ranges.areas.front();
    const int lastRow = table.last.row, lastColumn = table.last.col;
    const Cells cells(workbook);
    const sheet::Value& caption = cells.value(lastRow - kSummaryCaptionFromEnd, kNameColumn);
    if (lastRow - kSummaryCaptionFromEnd <= kFirstStudentRow || lastColumn < kFirstTestColumn || !caption.isText() ||
        QString::fromStdString(caption.text()).trimmed() != u"Class Summary"_s) {
        notAGradebook(u"the class summary is not where the print area ends."_s);
    }

    ClassReports out;
    out.school = cells.typed(kSchoolRow, kNameColumn);
    out.teacher = cells.typed(kTeacherRow, kNameColumn);
    out.className = cells.typed(kClassRow, kNameColumn);
    out.period = cells.typed(kPeriodRow, kNameColumn);
    out.totalPossible = cells.shown(kTotalPossibleRow, kTotalPossibleColumn);
    out.font = workbook.formats.empty() ? sheet::Font{} : workbook.formats.front().font;

    const int averageRow = lastRow - kSummaryAverageFromEnd;
    const int lastStudentRow = lastRow - kSummaryCaptionFromEnd - 2;
    formula::CachedValues cached(workbook);
    for (int row = kFirstStudentRow; row <= lastStudentRow; ++row) {
        StudentReport student;
        student.name = cells.typed(row, kNameColumn);
        student.id = cells.typed(row, kIdColumn);
        bool anything = !student.name.isEmpty() || !student.id.isEmpty();
        for (int col = kFirstTestColumn; col <= lastColumn; ++col) {
            const sheet::Value& points = cells.value(row, col);
            const sheet::Value& possible = cells.value(kPossibleRow, col);
            anything = anything || !points.isEmpty();
            if (points.isEmpty() && possible.isEmpty() && cells.value(kTestNameRow, col).isEmpty()) {
                continue; // a column of the table that holds no test
            }
            ReportTest test;
            test.name = cells.typed(kTestNameRow, col);
            test.points = cells.typed(row, col);
            test.possible = cells.typed(kPossibleRow, col);
            test.percent = percentOf(cells, points, possible);
            test.classAverage = cells.shown(averageRow, col);
            test.notCounted = !points.isEmpty() && !points.isNumber();
            student.tests.push_back(std::move(test));
        }
        if (!anything) {
            continue; // the empty rows of a class without students
        }
        student.average = cells.shown(row, kAverageColumn);
        student.letter = cells.shown(row, kLetterColumn);
        student.gradePoints = cells.shown(row, kGradePointsColumn);
        // The total is summed by the engine's SUM over the row, the sum the average divides.
        const sheet::Area points{{row, kFirstTestColumn}, {row, lastColumn}};
        const formula::NodePtr sum =
            formula::parseFormula("SUM(" + sheet::toA1(points.first) + ":" + sheet::toA1(points.last) + ")");
        const formula::EvalContext context{&workbook, &cached, 0, {row, kAverageColumn}};
        student.totalPoints = cells.shownAs(formula::evaluate(sum, context), "General");
        out.students.push_back(std::move(student));
    }
    return out;
}

} // namespace markwell::exporting
