#pragma once

#include "../ByteIO.h"

#include <functional>
#include <string>
#include <vector>

namespace markwell::xls::cfb {

// Builds a version 3 compound document (512-byte sectors) holding streams in its root storage.
// Streams below 4096 bytes go to the mini stream, as the format requires.
class CompoundFileWriter {
public:
    // Names are ASCII, at most 31 characters, unique without regard to case.
    void addStream(std::string name, Bytes data);
    Bytes build() const;
    // The same document handed to `sink` piece by piece, in file order: a large stream goes out
    // as it is, never copied into one buffer with the rest.
    void write(const std::function<void(ByteView)>& sink) const;

private:
    struct Stream {
        std::string name;
        Bytes data;
    };
    std::vector<Stream> m_streams;
};

} // namespace markwell::xls::cfb
