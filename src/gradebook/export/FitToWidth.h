#pragma once

#include "workbook/sheet/Workbook.h"

namespace markwell::exporting {

// The printout of the class on a page's width: landscape Letter, each sheet's print area scaled
// so that all its columns fit across one page, with its title rows repeated as the sheet asks.
// The scale never makes the sheet's body text (the font most of its printed cells use) smaller
// than about 6 points: where fitting would, it stops there and the columns continue on further
// pages. Nothing is enlarged beyond 100 %.

// The smallest scale, in percent, that keeps the sheet's body text at 6 points or more.
int minimumFitScale(const sheet::Workbook& workbook, int sheetIndex);

// The scale, in percent, at which the sheet's print area fits the width of landscape Letter,
// within minimumFitScale() and 100.
int fitWidthScale(const sheet::Workbook& workbook, int sheetIndex);

// A copy of the workbook whose sheets print that way.
sheet::Workbook fittedToPageWidth(const sheet::Workbook& workbook);

} // namespace markwell::exporting
