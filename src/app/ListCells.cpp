#include "app/ListCells.h"

#include "setup/ListCodec.h"

#include <QLineEdit>
#include <QToolTip>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

ListFieldValidator::ListFieldValidator(QLineEdit* field) : QValidator(field), m_field(field) {}

QValidator::State ListFieldValidator::validate(QString& input, int& /*pos*/) const {
    if (!containsListSeparator(input)) {
        return Acceptable;
    }
    QToolTip::showText(m_field->mapToGlobal(QPoint(0, m_field->height())),
                       u"The characters | and ^ cannot be used in this field."_s, m_field);
    return Invalid;
}

QWidget* ListCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setValidator(new ListFieldValidator(line));
    }
    return editor;
}

void ListCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    const auto store = [&] { QStyledItemDelegate::setModelData(editor, model, index); };
    if (m_commit) {
        m_commit(index, store);
    } else {
        store();
    }
}

} // namespace markwell
