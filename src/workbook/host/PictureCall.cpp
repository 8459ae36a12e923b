#include "workbook/host/EngineCalls.h"

#include "workbook/render/SheetPainter.h"

namespace markwell::engine {

QImage pictureOf(const sheet::Workbook& workbook, int sheet, const sheet::Area& area) {
    return render::renderSheetPicture(workbook, sheet, area);
}

} // namespace markwell::engine
