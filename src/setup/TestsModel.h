#pragma once

#include "setup/GradebookSetup.h"
#include "setup/PointsText.h"

#include <QAbstractTableModel>

#include <vector>

namespace markwell {

// The tests list: rows in the order they were added, columns "Assignment or Test Name" and
// "Possible Points". Duplicate names are allowed; rows are told apart by position only.
class TestsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Both cells of a row can be edited in place; a text holding a list separator is refused.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    const std::vector<TestRow>& rows() const { return m_rows; }
    qsizetype size() const { return static_cast<qsizetype>(m_rows.size()); }
    QStringList names() const;

    // Appends a row; throws Failure when the list is full.
    void append(const TestRow& row);
    // Appends all the rows, or none when they do not fit (throws Failure then).
    void appendRows(const std::vector<TestRow>& rows);
    // Removes the row at `row`; throws Failure when there is no such row.
    void removeAt(qsizetype row);
    // Replaces the `count` rows from `at` with `rows` (any number), as taking back or doing again
    // a change does.
    void replaceRows(qsizetype at, qsizetype count, const std::vector<TestRow>& rows);

    // Possible points that will not count are marked (kPointsWillNotCountRole, a tooltip) as this
    // decimal separator reads them; the locale's by default.
    void setDecimalSeparator(QChar separator);

private:
    template <class Model, class Row>
    friend void replaceRowRange(Model&, std::vector<Row>&, qsizetype, qsizetype, const std::vector<Row>&);

    std::vector<TestRow> m_rows;
    QChar m_decimalSeparator = decimalSeparatorOf(QLocale());
};

} // namespace markwell
