#pragma once

#include <QStyledItemDelegate>
#include <QValidator>

#include <functional>

class QLineEdit;

namespace markwell {

// Refuses any edit that would put a list separator into a field that goes into a stored list,
// whether typed or pasted, and says why next to the field.
class ListFieldValidator : public QValidator {
public:
    explicit ListFieldValidator(QLineEdit* field);
    State validate(QString& input, int& pos) const override;

private:
    QLineEdit* m_field;
};

// The cells of a list, edited in place: the editor refuses list separators as the input fields
// do, and the edited text reaches the list through `commit` (set by the window), which runs the
// store step it is given so that the edit can be recorded.
class ListCellDelegate : public QStyledItemDelegate {
public:
    using Commit = std::function<void(const QModelIndex& index, const std::function<void()>& store)>;
    using QStyledItemDelegate::QStyledItemDelegate;

    void setCommit(Commit commit) { m_commit = std::move(commit); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    Commit m_commit;
};

} // namespace markwell
