#include "app/PointsMark.h"

#include "setup/PointsText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QStyle>
#include <QToolTip>

namespace markwell {

QColor pointsMarkColour(const QColor& listBackground) {
    return listBackground.lightnessF() >= 0.5 ? QColor(0xB0, 0x00, 0x00) : QColor(0xFF, 0x99, 0x99);
}

void PointsMarkDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(kPointsWillNotCountRole).toBool()) {
        return;
    }
    option->palette.setColor(QPalette::Text, pointsMarkColour(option->palette.color(QPalette::Base)));
    option->font.setItalic(true);
    const QStyle* style = option->widget != nullptr ? option->widget->style() : QApplication::style();
    option->icon = style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, option->widget);
    option->features |= QStyleOptionViewItem::HasDecoration;
    const int side = option->fontMetrics.height() - 2;
    option->decorationSize = QSize(side, side);
}

void markPointsIn(QAbstractItemView* view) {
    view->setItemDelegate(new PointsMarkDelegate(view));
    QObject::connect(
        view->selectionModel(), &QItemSelectionModel::currentChanged, view, [view](const QModelIndex& current) {
            if (!current.isValid() || !view->hasFocus()) {
                return;
            }
            QStringList reasons;
            const QAbstractItemModel* model = current.model();
            for (int c = 0; c < model->columnCount(); ++c) {
                const QModelIndex cell = model->index(current.row(), c);
                if (cell.data(kPointsWillNotCountRole).toBool()) {
                    reasons << cell.data(Qt::AccessibleDescriptionRole).toString();
                }
            }
            if (reasons.isEmpty()) {
                QToolTip::hideText();
                return;
            }
            const QRect row = view->visualRect(current);
            QToolTip::showText(view->viewport()->mapToGlobal(row.bottomLeft()), reasons.join(u'\n'), view->viewport());
        });
}

} // namespace markwell
