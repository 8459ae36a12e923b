#include "setup/StudentsModel.h"

#include "common/ErrorReport.h"
#include "setup/RowRange.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

int StudentsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int StudentsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(2 + m_testColumns.size());
}

QVariant StudentsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const bool points = index.column() >= 2;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return field(index.row(), index.column());
    case kPointsWillNotCountRole:
        return points && pointsWillNotCount(field(index.row(), index.column()), m_decimalSeparator);
    case Qt::ToolTipRole: {
        const QString text = field(index.row(), index.column());
        if (points && pointsWillNotCount(text, m_decimalSeparator)) {
            return pointsWillNotCountNote(text, false);
        }
        return {};
    }
    default:
        return {};
    }
}

void StudentsModel::setDecimalSeparator(QChar separator) {
    m_decimalSeparator = separator;
    if (!m_rows.empty() && columnCount() > 2) {
        emit dataChanged(index(0, 2), index(rowCount() - 1, columnCount() - 1));
    }
}

QVariant StudentsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (section == 0) {
        return u"Student Name"_s;
    }
    if (section == 1) {
        return u"Student ID"_s;
    }
    if (section >= 2 && section - 2 < m_testColumns.size()) {
        return m_testColumns[section - 2];
    }
    return {};
}

void StudentsModel::setTestColumns(const QStringList& testNames) {
    const int oldCount = columnCount();
    const int newCount = static_cast<int>(2 + testNames.size());
    if (newCount > oldCount) {
        beginInsertColumns({}, oldCount, newCount - 1);
        m_testColumns = testNames;
        endInsertColumns();
    } else if (newCount < oldCount) {
        beginRemoveColumns({}, newCount, oldCount - 1);
        m_testColumns = testNames;
        endRemoveColumns();
    } else {
        m_testColumns = testNames;
    }
    emit headerDataChanged(Qt::Horizontal, 0, newCount - 1);
    if (!m_rows.empty() && newCount > 2) {
        emit dataChanged(index(0, 2), index(rowCount() - 1, newCount - 1));
    }
}

qsizetype StudentsModel::append(const QString& name) {
    if (size() >= kMaxListRows) {
        throw Failure(
            u"Overflow: the students list already holds %1 students, the most it can hold."_s.arg(kMaxListRows));
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.push_back(StudentRow{name, {}, {}});
    endInsertRows();
    return at;
}

qsizetype StudentsModel::appendRows(const std::vector<StudentRow>& rows) {
    const auto n = static_cast<qsizetype>(rows.size());
    if (n > kMaxListRows - size()) {
        throw Failure(u"Overflow: the students list holds %1 students; %2 more would pass the %3 it can hold."_s.arg(
            QString::number(size()), QString::number(n), QString::number(kMaxListRows)));
    }
    const qsizetype columns = m_testColumns.size();
    for (const StudentRow& s : rows) {
        for (qsizetype k = columns; k < s.points.size(); ++k) {
            if (!s.points[k].isEmpty()) {
                throw Failure(u"The student \"%1\" has points for test %2, but the students list has %3 test "
                              u"columns."_s.arg(s.name, QString::number(k + 1), QString::number(columns)));
            }
        }
    }
    const int at = static_cast<int>(m_rows.size());
    if (n > 0) {
        beginInsertRows({}, at, static_cast<int>(at + n - 1));
        m_rows.insert(m_rows.end(), rows.begin(), rows.end());
        endInsertRows();
    }
    return at;
}

void StudentsModel::setField(qsizetype row, qsizetype position, const QString& text) {
    if (row < 0 || row >= size()) {
        throw Failure(u"There is no student at position %1 of the students list."_s.arg(row + 1));
    }
    if (position < 0 || position >= columnCount()) {
        throw Failure(u"The students list has no column %1: there are %2 columns."_s.arg(
            QString::number(position + 1), QString::number(columnCount())));
    }
    StudentRow& s = m_rows[static_cast<size_t>(row)];
    if (position == 0) {
        s.name = text;
    } else if (position == 1) {
        s.id = text;
    } else {
        const qsizetype k = position - 2;
        while (s.points.size() <= k) {
            s.points << QString();
        }
        s.points[k] = text;
    }
    const QModelIndex at = index(static_cast<int>(row), static_cast<int>(position));
    emit dataChanged(at, at);
}

QString StudentsModel::field(qsizetype row, qsizetype position) const {
    if (row < 0 || row >= size()) {
        return {};
    }
    const StudentRow& s = m_rows[static_cast<size_t>(row)];
    if (position == 0) {
        return s.name;
    }
    if (position == 1) {
        return s.id;
    }
    return s.pointsFor(position - 2);
}

void StudentsModel::removeAt(qsizetype row) {
    if (row < 0 || row >= size()) {
        throw Failure(u"There is no student at position %1 of the students list."_s.arg(row + 1));
    }
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    if (m_current == Current::Row) {
        if (row == m_currentRow) {
            m_current = Current::Deleted;
            m_currentRow = -1;
        } else if (row < m_currentRow) {
            --m_currentRow;
        }
    }
}

void StudentsModel::removePointsOfTest(qsizetype test) {
    if (test < 0) {
        return;
    }
    for (StudentRow& s : m_rows) {
        if (test < s.points.size()) {
            s.points.removeAt(test);
        }
    }
    if (!m_rows.empty() && columnCount() > 2) {
        emit dataChanged(index(0, 2), index(rowCount() - 1, columnCount() - 1));
    }
}

void StudentsModel::makeCurrent(qsizetype row) {
    if (row < 0 || row >= size()) {
        throw Failure(u"There is no student at position %1 of the students list."_s.arg(row + 1));
    }
    m_current = Current::Row;
    m_currentRow = row;
}

void StudentsModel::restoreCurrent(Current state, qsizetype row) {
    if (state == Current::Row && (row < 0 || row >= size())) {
        state = Current::Deleted;
    }
    m_current = state;
    m_currentRow = state == Current::Row ? row : -1;
}

Qt::ItemFlags StudentsModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

bool StudentsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const std::optional<QString> text = editedCellText(*this, index, value, role);
    if (!text) {
        return false;
    }
    if (field(index.row(), index.column()) != *text) {
        setField(index.row(), index.column(), *text);
    }
    return true;
}

void StudentsModel::replaceRows(qsizetype at, qsizetype count, const std::vector<StudentRow>& rows) {
    replaceRowRange(*this, m_rows, at, count, rows);
}

} // namespace markwell
