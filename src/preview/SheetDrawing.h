#pragma once

#include "workbook/render/SheetLayout.h"
#include "workbook/sheet/Workbook.h"

#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class QPainter;

namespace markwell::preview {

// The sheet behind the preview's picture: the workbook, the sheet and the area the picture shows.
struct ShownSheet {
    std::shared_ptr<const sheet::Workbook> workbook;
    int sheet = 0;
    sheet::Area area;
};

// Reads a saved workbook and takes the used area of its active sheet, the part the picture of
// the filled sheet shows, with every formula's result computed. Returns nullopt with *why set
// to what is wrong when the file cannot be read or the sheet is empty.
std::optional<ShownSheet> readShownSheet(const QString& path, QString* why);

// The same for a workbook at hand, its results computed; *why (when given) says what is wrong
// without naming a file.
std::optional<ShownSheet> shownSheetOf(std::shared_ptr<const sheet::Workbook> workbook, QString* why);

// The sheet drawn as the picture shows it, at any scale: the preview draws the part it shows at
// the screen's pixel density and the zoom instead of enlarging the picture's pixels.
class SheetDrawing {
public:
    // Throws std::exception when the area does not lie on the workbook.
    explicit SheetDrawing(ShownSheet shown);

    const ShownSheet& shown() const { return m_shown; }
    const render::SheetLayout& layout() const { return m_layout; }
    // The picture's size in pixels at 96 dpi.
    QSize size() const { return {m_layout.width(), m_layout.height()}; }
    // False when the sheet is larger than a picture may be and the picture was cut.
    bool complete() const { return !m_layout.cutRight() && !m_layout.cutBottom(); }

    // Draws the part `part` of the picture (in its own pixels) on an active painter whose
    // transform maps the picture's pixels onto the target: white ground, gridlines where the
    // sheet shows them, fills, text and borders. Only the rows that meet the part are drawn.
    void draw(QPainter& painter, const QRectF& part) const;

private:
    ShownSheet m_shown;
    int m_digitWidth;
    render::SheetLayout m_layout;
};

} // namespace markwell::preview
