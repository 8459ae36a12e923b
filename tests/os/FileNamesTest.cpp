#include "os/FileNames.h"
#include "os/Result.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

TEST(Errors, ErrorTextIsTheSystemsWordingAndTheNumberIsKept) {
    EXPECT_EQ(os::errorText(ENOSPC), u"No space left on device"_s);
    EXPECT_EQ(os::errorText(EACCES), u"Permission denied"_s);
    const os::Result<int> failed = os::Reason::ofError(ENAMETOOLONG);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.errorNumber(), ENAMETOOLONG);
    EXPECT_EQ(failed.reason(), os::errorText(ENAMETOOLONG));
}

TEST(FileNames, NamesThatAreNotUtf8RoundTripByteForByte) {
    for (const QByteArray& bytes : {QByteArray("plain.xls"), QByteArray("caf\xC3\xA9.xls"),
                                    QByteArray("bad\xFF\x80.xls"), QByteArray("\xED\xA0\x80 surrogate")}) {
        EXPECT_EQ(os::encodeFileName(os::decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
    EXPECT_EQ(os::decodeFileName("caf\xC3\xA9"), u"café"_s);
}
