#pragma once

#include <stdexcept>
#include <string>

namespace markwell::xls {

// Why a workbook file could not be read or written.
enum class XlsErrorKind {
    NotCompoundFile, // not an OLE compound document at all (ZIP, text, image ...)
    Corrupt,         // the container or the records contradict themselves
    Truncated,       // the data ends before something it announces
    NoWorkbook,      // a compound file without a workbook stream
    OldFormat,       // BIFF2 to BIFF7: a format this program does not read
    Encrypted,       // password protected (FILEPASS)
    TooLarge,        // more than the format or this program can hold
    Unsupported,     // a valid construct we cannot express (writing)
};

// The one error type of the .xls layer. what() is a sentence naming the problem; the caller adds
// the file name in front of it.
class XlsError : public std::runtime_error {
public:
    XlsError(XlsErrorKind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    XlsErrorKind kind() const { return m_kind; }

private:
    XlsErrorKind m_kind;
};

} // namespace markwell::xls
