#pragma once

#include "common/ErrorReport.h"
#include "setup/GradebookSetup.h"
#include "setup/ListCodec.h"

#include <QAbstractItemModel>

#include <QString>

#include <optional>
#include <vector>

namespace markwell {

// The text an edit in place puts into a cell of a list model, or nothing when the edit is not one
// (another role, no such cell) or is refused (a list separator in the text).
inline std::optional<QString> editedCellText(const QAbstractItemModel& model, const QModelIndex& index,
                                             const QVariant& value, int role) {
    if (role != Qt::EditRole || !model.checkIndex(index, QAbstractItemModel::CheckIndexOption::IndexIsValid)) {
        return std::nullopt;
    }
    QString text = value.toString();
    if (containsListSeparator(text)) {
        return std::nullopt;
    }
    return text;
}

// Replaces `count` rows of a list model from `at` with `with`, telling the views as it goes: as
// changed cells when the number of rows stays, else as rows removed and then rows inserted.
// Throws Failure, changing nothing, when the range is not in the list or the list would grow past
// kMaxListRows. The models name it their friend: it uses their protected notifications.
template <class Model, class Row>
void replaceRowRange(Model& model, std::vector<Row>& rows, qsizetype at, qsizetype count,
                     const std::vector<Row>& with) {
    const auto size = static_cast<qsizetype>(rows.size());
    const auto added = static_cast<qsizetype>(with.size());
    if (at < 0 || count < 0 || at + count > size || size - count + added > kMaxListRows) {
        throw Failure(QStringLiteral("Rows %1 to %2 cannot be replaced by %3 rows in a list of %4 rows.")
                          .arg(QString::number(at + 1), QString::number(at + count), QString::number(added),
                               QString::number(size)));
    }
    if (count == added) {
        if (count > 0) {
            std::copy(with.begin(), with.end(), rows.begin() + at);
            emit model.dataChanged(model.index(static_cast<int>(at), 0),
                                   model.index(static_cast<int>(at + count - 1), model.columnCount() - 1));
        }
        return;
    }
    if (count > 0) {
        model.beginRemoveRows({}, static_cast<int>(at), static_cast<int>(at + count - 1));
        rows.erase(rows.begin() + at, rows.begin() + at + count);
        model.endRemoveRows();
    }
    if (added > 0) {
        model.beginInsertRows({}, static_cast<int>(at), static_cast<int>(at + added - 1));
        rows.insert(rows.begin() + at, with.begin(), with.end());
        model.endInsertRows();
    }
}

} // namespace markwell
