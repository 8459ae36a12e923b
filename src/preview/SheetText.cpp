#include "preview/SheetText.h"

#include "preview/SheetDrawing.h"
#include "workbook/render/NumberFormatter.h"
#include "workbook/render/SheetLayout.h"

#include <map>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

namespace {

bool sameCaption(const QString& text, const QString& caption) {
    return text.trimmed().compare(caption, Qt::CaseInsensitive) == 0;
}

} // namespace

SheetText::SheetText(const ShownSheet& shown, const render::SheetLayout& layout) {
    const sheet::Workbook& workbook = *shown.workbook;
    const sheet::Sheet& sheet = workbook.sheets[static_cast<std::size_t>(shown.sheet)];
    const sheet::Area area = layout.shownArea();
    for (int r = area.first.row; r <= area.last.row; ++r) {
        if (layout.rowLine(r + 1) != layout.rowLine(r)) {
            m_rows.push_back(r);
        }
    }
    for (int c = area.first.col; c <= area.last.col; ++c) {
        if (layout.columnLine(c + 1) != layout.columnLine(c)) {
            m_columns.push_back(c);
        }
    }
    std::map<std::uint32_t, std::unique_ptr<render::NumberFormatter>> formatters;
    m_texts.reserve(m_rows.size() * m_columns.size());
    for (const int r : m_rows) {
        for (const int c : m_columns) {
            const sheet::Cell* cell = sheet.cell(r, c);
            bool covered = false;
            for (const sheet::Area& m : layout.merges()) {
                covered = covered || (m.contains({r, c}) && !(m.first == sheet::CellPos{r, c}));
            }
            if (cell == nullptr || cell->value.isEmpty() || covered) {
                m_texts.emplace_back();
                continue;
            }
            // A cell with a value has its own format.
            const std::uint32_t index = cell->format < workbook.formats.size() ? cell->format : 0;
            auto& formatter = formatters[index];
            if (!formatter) {
                formatter =
                    std::make_unique<render::NumberFormatter>(workbook.formats[index].numberFormat, workbook.date1904);
            }
            m_texts.push_back(QString::fromStdString(formatter->format(cell->value).text).trimmed());
        }
    }
    for (int row = 0; row < rowCount() && m_headerRow < 0; ++row) {
        if (const int column = findColumn(row, u"Student Name"_s); column >= 0) {
            m_headerRow = row;
            m_nameColumn = column;
        }
    }
}

QString SheetText::text(int row, int column) const {
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) {
        return {};
    }
    return m_texts[static_cast<std::size_t>(row) * m_columns.size() + static_cast<std::size_t>(column)];
}

int SheetText::findRow(int column, const QString& caption, int fromRow) const {
    for (int row = std::max(fromRow, 0); row < rowCount(); ++row) {
        if (sameCaption(text(row, column), caption)) {
            return row;
        }
    }
    return -1;
}

int SheetText::findColumn(int row, const QString& caption) const {
    for (int column = 0; column < columnCount(); ++column) {
        if (sameCaption(text(row, column), caption)) {
            return column;
        }
    }
    return -1;
}

QString SheetText::summary() const {
    if (m_headerRow < 0) {
        return u"A sheet of %1 rows and %2 columns."_s.arg(rowCount()).arg(columnCount());
    }
    const int summaryRow = findRow(m_nameColumn, u"Class Summary"_s, m_headerRow + 1);
    const int end = summaryRow < 0 ? rowCount() : summaryRow;
    int students = 0;
    for (int row = m_headerRow + 1; row < end; ++row) {
        students += text(row, m_nameColumn).isEmpty() ? 0 : 1;
    }
    // The tests are the captions right of the grade point column.
    int tests = 0;
    for (int column = findColumn(m_headerRow, u"GPA"_s) + 1; column > 0 && column < columnCount(); ++column) {
        tests += text(m_headerRow, column).isEmpty() ? 0 : 1;
    }
    QString sentence = students == 1 ? u"1 student"_s : u"%1 students"_s.arg(students);
    sentence += tests == 1 ? u", 1 test"_s : u", %1 tests"_s.arg(tests);
    const int averageRow = summaryRow < 0 ? -1 : findRow(m_nameColumn, u"Average"_s, summaryRow + 1);
    const QString average = text(averageRow, findColumn(m_headerRow, u"Average"_s));
    const QString letter = text(averageRow, findColumn(m_headerRow, u"Ltr Grade"_s));
    if (averageRow >= 0 && !average.isEmpty()) {
        sentence += u"; class average %1"_s.arg(average);
        if (!letter.isEmpty()) {
            sentence += u", grade %1"_s.arg(letter);
        }
    } else {
        sentence += u"; no class average yet"_s;
    }
    return sentence + u"."_s;
}

} // namespace markwell::preview
