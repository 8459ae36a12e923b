#pragma once

#include "workbook/sheet/Workbook.h"

namespace markwell::test {

// A small styled gradebook-like sheet for the renderer: Century Gothic captions, a merged
// wrapped title, white on dark headers with thin borders, a percentage, grade points, a
// #DIV/0!, cream banding, a number too wide for its column and a long text running over empty
// neighbours. Gridlines are off. The sheet's used range is B2:H12.
sheet::Workbook renderSampleWorkbook();

} // namespace markwell::test
