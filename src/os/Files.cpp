#include "os/Files.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell::os {

QString describeKind(FileKind kind) {
    switch (kind) {
    case FileKind::Missing:
        return u"missing"_s;
    case FileKind::Regular:
        return u"a file"_s;
    case FileKind::Directory:
        return u"a folder"_s;
    case FileKind::SymbolicLink:
        return u"a symbolic link"_s;
    case FileKind::Other:
        break;
    }
    return u"a device, pipe or socket"_s;
}

} // namespace markwell::os
