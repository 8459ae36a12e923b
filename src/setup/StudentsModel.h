#pragma once

#include "setup/GradebookSetup.h"
#include "setup/PointsText.h"

#include <QAbstractTableModel>

#include <vector>

namespace markwell {

// The students list: rows in the order added; columns "Student Name", "Student ID" and one per
// test as of the last rebuild of the columns. Also keeps CurrentStudent, the row most recently
// made by "Add Student", following it when rows before it are deleted.
class StudentsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Current { None, Row, Deleted };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Every cell can be edited in place; a text holding a list separator is refused.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    const std::vector<StudentRow>& rows() const { return m_rows; }
    qsizetype size() const { return static_cast<qsizetype>(m_rows.size()); }

    // The per-test column captions, first to last. The rows keep all their fields.
    void setTestColumns(const QStringList& testNames);
    const QStringList& testColumns() const { return m_testColumns; }

    // Appends a row with the given name and returns its position; throws Failure when full.
    qsizetype append(const QString& name);
    // Appends all the rows and returns the position of the first, or appends none and throws
    // Failure when they do not fit: more rows than the list can take, or points for a test that
    // has no column.
    qsizetype appendRows(const std::vector<StudentRow>& rows);
    // Sets field `position` (0 name, 1 ID, 2.. points) of a row. Throws Failure when the row does
    // not exist or the position has no column.
    void setField(qsizetype row, qsizetype position, const QString& text);
    QString field(qsizetype row, qsizetype position) const;
    void removeAt(qsizetype row);
    // Replaces the `count` rows from `at` with `rows` (any number), as taking back or doing again
    // a change does. CurrentStudent is left as it is: the caller restores it.
    void replaceRows(qsizetype at, qsizetype count, const std::vector<StudentRow>& rows);
    // Drops the points field of test `test` (0-based) from every row; later points move up one.
    void removePointsOfTest(qsizetype test);

    // Points that will not count are marked (kPointsWillNotCountRole, a tooltip) as this decimal
    // separator reads them; the locale's by default.
    void setDecimalSeparator(QChar separator);

    Current currentState() const { return m_current; }
    qsizetype currentRow() const { return m_current == Current::Row ? m_currentRow : -1; }
    void makeCurrent(qsizetype row);
    // Puts CurrentStudent back as it was (a row that no longer exists reads as deleted).
    void restoreCurrent(Current state, qsizetype row);

private:
    template <class Model, class Row>
    friend void replaceRowRange(Model&, std::vector<Row>&, qsizetype, qsizetype, const std::vector<Row>&);

    std::vector<StudentRow> m_rows;
    QStringList m_testColumns;
    Current m_current = Current::None;
    qsizetype m_currentRow = -1;
    QChar m_decimalSeparator = decimalSeparatorOf(QLocale());
};

} // namespace markwell
