#include "RenderSample.h"

#include "workbook/render/SheetLayout.h"

namespace markwell::test {

sheet::Workbook renderSampleWorkbook() {
    using namespace markwell::sheet;
    Workbook wb;
    wb.sheets.resize(1);
    Sheet& s = wb.sheets[0];
    s.name = "Grade book";
    s.showGridlines = false;

    const double widths[] = {1.71, 37, 18.71, 9.71, 9.71, 9.71, 8.57, 9.14};
    for (int c = 0; c < 8; ++c) {
        s.columnInfo(c).width256 = render::width256FromCharacters(widths[c], 7);
    }
    const double heights[] = {9.75, 45, 12.95, 12.95, 14.25, 14.25, 14.25, 12.95, 12.95, 4.5, 14.25, 12.95};
    for (int r = 0; r < 12; ++r) {
        s.rowInfo(r).heightTwips = static_cast<int>(heights[r] * 20 + 0.5);
    }

    CellFormat base;
    base.font.name = "Century Gothic";
    base.font.heightTwips = 180;
    const Border thin{BorderStyle::Thin, 0x000000};

    CellFormat title = base;
    title.font.heightTwips = 440;
    title.wrap = true;
    CellFormat italic = base;
    italic.font.heightTwips = 160;
    italic.font.italic = true;
    CellFormat dark = base;
    dark.fill = 0xA75A45;
    dark.font.colour = 0xFFFFFF;
    dark.left = dark.right = dark.top = dark.bottom = thin;
    CellFormat plain = base;
    plain.left = plain.right = plain.top = plain.bottom = thin;
    CellFormat points = plain;
    points.numberFormat = "0";
    CellFormat cream = plain;
    cream.fill = 0xFDF8EC;
    CellFormat creamPoints = points;
    creamPoints.fill = 0xFDF8EC;
    CellFormat percent = plain;
    percent.fill = 0xEAEAEA;
    percent.numberFormat = "0.00%";
    CellFormat letter = plain;
    letter.fill = 0xEAEAEA;
    letter.halign = HAlign::Center;
    CellFormat gpa = plain;
    gpa.fill = 0xEAEAEA;
    gpa.numberFormat = "0.00";
    CellFormat bold = plain;
    bold.font.bold = true;
    bold.fill = 0xEAEAEA;
    CellFormat whole = base;
    whole.numberFormat = "0%";
    CellFormat wide = base;
    wide.numberFormat = "#,##0.00";

    const std::uint32_t fTitle = wb.addFormat(title), fItalic = wb.addFormat(italic), fDark = wb.addFormat(dark),
                        fPlain = wb.addFormat(plain), fPoints = wb.addFormat(points), fCream = wb.addFormat(cream),
                        fCreamPoints = wb.addFormat(creamPoints), fPercent = wb.addFormat(percent),
                        fLetter = wb.addFormat(letter), fGpa = wb.addFormat(gpa), fBold = wb.addFormat(bold),
                        fWhole = wb.addFormat(whole), fWide = wb.addFormat(wide);

    auto put = [&](int row, int col, Value v, std::uint32_t format) {
        Cell& c = s.cellAt(row, col);
        c.value = std::move(v);
        c.format = format;
    };

    put(1, 1, "Lincoln Middle School, Room 12", fTitle);
    s.merged.push_back(Area{{1, 1}, {2, 2}});
    put(3, 1, "Ms. Rivera, Science 7", fItalic);
    put(1, 3, 0.9, fWhole);

    // Captions: the long one runs over the empty dark cells beside it.
    put(4, 3, "Assignment or Test Name", fDark);
    put(4, 4, Value(), fDark);
    put(4, 5, Value(), fDark);
    put(4, 6, "Lab 1", fBold);
    put(4, 7, "Quiz", fBold);
    put(5, 3, "Possible Points", fDark);
    put(5, 4, Value(), fDark);
    put(5, 5, Value(), fDark);
    put(5, 6, 50, fPoints);
    put(5, 7, 20, fPoints);

    const char* headers[] = {"Student Name", "Student ID", "Average", "Ltr Grade", "GPA"};
    for (int c = 0; c < 5; ++c) {
        put(6, 1 + c, headers[c], fDark);
    }
    put(6, 6, "Lab 1", fBold);
    put(6, 7, "Quiz", fBold);

    put(7, 1, "Ann Lee", fPlain);
    put(7, 2, "1001", fPlain);
    put(7, 3, 0.8571, fPercent);
    put(7, 4, "B", fLetter);
    put(7, 5, 3, fGpa);
    put(7, 6, 45, fPoints);
    put(7, 7, 15, fPoints);

    put(8, 1, "Bob Ray", fCream);
    put(8, 2, "1002", fCream);
    put(8, 3, ErrorCode::Div0, fPercent);
    put(8, 4, ErrorCode::Div0, fLetter);
    put(8, 5, ErrorCode::NA, fGpa);
    put(8, 6, 38.5, fCreamPoints);
    put(8, 7, Value(), fCreamPoints);

    put(10, 1, "Class Summary", fDark);
    put(10, 2, Value(), fDark);
    s.merged.push_back(Area{{10, 1}, {10, 2}});
    put(11, 1, " Average", fPlain);
    put(11, 2, 1.0 / 3, fPlain);
    put(11, 6, 1234567.891, fWide); // too wide for column G: ####
    put(11, 7, true, fPlain);
    return wb;
}

} // namespace markwell::test
