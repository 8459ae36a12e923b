#pragma once

#include <stdexcept>

namespace markwell::render {

// A picture or a PDF that cannot be made: no graphical application, no memory for the picture,
// a painter or a PDF writer that fails. The message is a sentence for people.
class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace markwell::render
