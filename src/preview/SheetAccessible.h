#pragma once

namespace markwell::preview {

// Makes every picture box that knows its sheet a table for assistive technology: one row and
// column for each one the picture shows, each cell with the text the sheet shows in it, the
// student list's captions as column headers and each student's name as row header. The box's
// accessible name and description are its own. Safe to call more than once.
void installSheetAccessibility();

} // namespace markwell::preview
