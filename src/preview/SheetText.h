#pragma once

#include <QString>

#include <vector>

namespace markwell::render {
class SheetLayout;
}

namespace markwell::preview {

struct ShownSheet;

// The text of the picture for those who cannot see it: the rows and columns the picture shows
// (hidden ones left out), each cell's text as the sheet shows it (a merged range's text in its
// first cell), and where the gradebook's captions are.
class SheetText {
public:
    SheetText() = default;
    SheetText(const ShownSheet& shown, const render::SheetLayout& layout);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // The sheet's own row and column (0-based) of a row and column of the table.
    int sheetRow(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    int sheetColumn(int column) const { return m_columns[static_cast<std::size_t>(column)]; }
    // Empty outside the table.
    QString text(int row, int column) const;

    // The row holding the student list's column captions ("Student Name", "Average", ...) and
    // the column of the students' names; -1 when the sheet has none.
    int headerRow() const { return m_headerRow; }
    int nameColumn() const { return m_nameColumn; }
    // The table row and column of a caption; -1 when there is none.
    int findRow(int column, const QString& caption, int fromRow) const;
    int findColumn(int row, const QString& caption) const;

    // One sentence that sums up the class: how many students and tests, the class average and
    // its letter grade; a plain size when the sheet is not a gradebook.
    QString summary() const;

private:
    std::vector<int> m_rows;
    std::vector<int> m_columns;
    std::vector<QString> m_texts;
    int m_headerRow = -1;
    int m_nameColumn = -1;
};

} // namespace markwell::preview
