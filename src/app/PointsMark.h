#pragma once

#include "app/ListCells.h"

#include <QColor>

class QAbstractItemView;

namespace markwell {

// Points that will not count as they should (kPointsWillNotCountRole) are shown slanted, in a
// red that reads well against the list (dark on a light list, light on a dark one), and with a
// warning sign before them that stays when the row is selected and the colour gives way to the
// selection's. The model gives the reason as the tooltip and the accessible description. Its
// cells are edited in place as every list cell is.
QColor pointsMarkColour(const QColor& listBackground);

class PointsMarkDelegate : public ListCellDelegate {
public:
    using ListCellDelegate::ListCellDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Gives the view that delegate, and when the keyboard makes a row current, shows the reasons of
// its marked points under the row. Call once the view has its model.
void markPointsIn(QAbstractItemView* view);

} // namespace markwell
