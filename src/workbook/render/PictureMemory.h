#pragma once

#include <QImage>

namespace markwell::render {

// A picture of width x height pixels in the given format, its content undefined, held in memory of
// its own that is ready at once (a picture of millions of pixels is drawn or read without the
// system supplying its memory page by page). Null when the memory cannot be had.
QImage newPicture(int width, int height, QImage::Format format);

} // namespace markwell::render
