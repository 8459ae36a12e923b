#include "setup/TestsModel.h"

#include "common/ErrorReport.h"
#include "setup/RowRange.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

int TestsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TestsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TestsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const TestRow& row = m_rows[static_cast<size_t>(index.row())];
    const QString& text = index.column() == 0 ? row.name : row.possiblePoints;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text;
    case kPointsWillNotCountRole:
        return index.column() == 1 && pointsWillNotCount(text, m_decimalSeparator);
    case Qt::ToolTipRole:
        if (index.column() == 1 && pointsWillNotCount(text, m_decimalSeparator)) {
            return pointsWillNotCountNote(text, true);
        }
        return {};
    default:
        return {};
    }
}

void TestsModel::setDecimalSeparator(QChar separator) {
    m_decimalSeparator = separator;
    if (!m_rows.empty()) {
        emit dataChanged(index(0, 1), index(rowCount() - 1, 1));
    }
}

QVariant TestsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case 0:
        return u"Assignment or Test Name"_s;
    case 1:
        return u"Possible Points"_s;
    default:
        return {};
    }
}

QStringList TestsModel::names() const {
    QStringList out;
    out.reserve(size());
    for (const TestRow& t : m_rows) {
        out << t.name;
    }
    return out;
}

void TestsModel::append(const TestRow& row) {
    if (size() >= kMaxListRows) {
        throw Failure(u"Overflow: the tests list already holds %1 tests, the most it can hold."_s.arg(kMaxListRows));
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.push_back(row);
    endInsertRows();
}

void TestsModel::appendRows(const std::vector<TestRow>& rows) {
    if (rows.empty()) {
        return;
    }
    const auto n = static_cast<qsizetype>(rows.size());
    if (n > kMaxListRows - size()) {
        throw Failure(u"Overflow: the tests list holds %1 tests; %2 more would pass the %3 it can hold."_s.arg(
            QString::number(size()), QString::number(n), QString::number(kMaxListRows)));
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, static_cast<int>(at + n - 1));
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    endInsertRows();
}

void TestsModel::removeAt(qsizetype row) {
    if (row < 0 || row >= size()) {
        throw Failure(u"There is no test at position %1 of the tests list."_s.arg(row + 1));
    }
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

Qt::ItemFlags TestsModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

bool TestsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const std::optional<QString> text = editedCellText(*this, index, value, role);
    if (!text) {
        return false;
    }
    TestRow& row = m_rows[static_cast<size_t>(index.row())];
    QString& cell = index.column() == 0 ? row.name : row.possiblePoints;
    if (cell != *text) {
        cell = *text;
        emit dataChanged(index, index);
    }
    return true;
}

void TestsModel::replaceRows(qsizetype at, qsizetype count, const std::vector<TestRow>& rows) {
    replaceRowRange(*this, m_rows, at, count, rows);
}

} // namespace markwell
