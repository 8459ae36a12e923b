#include "workbook/xls/RecordIds.h"
#include "workbook/xls/RecordReader.h"
#include "workbook/xls/RecordWriter.h"
#include "workbook/xls/SharedStrings.h"
#include "workbook/xls/Strings.h"

#include <gtest/gtest.h>

using namespace markwell::xls;

TEST(Records, LongRecordsSplitIntoContinueAndFoldBack) {
    RecordWriter w;
    Bytes big(20000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    w.write(rec::kMsoDrawingGroup, big);
    w.write(rec::kEof, ByteView{});
    const Bytes stream = w.take();
    // 20000 bytes: two full records and a rest.
    EXPECT_EQ(stream.size(), 20000u + 3 * 4 + 4);

    RecordReader r(stream);
    auto first = r.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, rec::kMsoDrawingGroup);
    EXPECT_EQ(first->data, big);
    EXPECT_EQ(first->breaks, (std::vector<std::size_t>{8224, 16448}));
    auto eof = r.next();
    ASSERT_TRUE(eof);
    EXPECT_EQ(eof->id, rec::kEof);
    EXPECT_FALSE(r.next());
}

TEST(Records, LengthBeyondTheStreamIsTruncation) {
    const Bytes stream = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06};
    RecordReader r(stream);
    try {
        r.next();
        FAIL() << "accepted";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.kind(), XlsErrorKind::Truncated);
        EXPECT_NE(std::string(e.what()).find("BOF"), std::string::npos) << e.what();
    }
}

TEST(Records, CursorReadsPastTheEndAsAnErrorNamingTheRecord) {
    Record r;
    r.id = rec::kXf;
    r.data = {1, 2, 3};
    RecordCursor c(r);
    EXPECT_EQ(c.u16(), 0x0201);
    try {
        c.u32();
        FAIL() << "read past the end";
    } catch (const XlsError& e) {
        EXPECT_NE(std::string(e.what()).find("XF"), std::string::npos) << e.what();
    }
}

// Strings of both encodings that cross CONTINUE boundaries, an empty string, and a string that
// switches encoding in the continuation, all survive the shared string table.
TEST(SharedStrings, RoundTripAcrossContinueRecords) {
    std::vector<std::string> texts;
    texts.push_back("");
    texts.push_back(std::string(9000, 'a')); // Latin-1, longer than a record
    texts.push_back("Grüße ñ");              // compressed, non-ASCII
    std::string greek;
    for (int i = 0; i < 5000; ++i) {
        greek += "\xCE\xB1"; // U+03B1: needs UTF-16
    }
    texts.push_back(greek);
    texts.push_back("\xF0\x9F\x98\x80 smile"); // a surrogate pair
    for (int i = 0; i < 3000; ++i) {
        texts.push_back("Student " + std::to_string(i));
    }
    SharedStringsBuilder b;
    for (const auto& t : texts) {
        b.add(t);
    }
    b.add("Student 7"); // repeated: same index, counted twice
    EXPECT_EQ(b.uniqueCount(), texts.size());
    EXPECT_EQ(b.totalCount(), texts.size() + 1);

    RecordWriter w;
    b.write(w);
    const Bytes stream = w.take();
    RecordReader r(stream);
    auto sst = r.next();
    ASSERT_TRUE(sst);
    EXPECT_EQ(sst->id, rec::kSst);
    EXPECT_GT(sst->breaks.size(), 3u);
    for (std::size_t i = 1; i < sst->breaks.size(); ++i) {
        EXPECT_LE(sst->breaks[i] - sst->breaks[i - 1], rec::kMaxRecordData);
    }
    EXPECT_EQ(readSharedStrings(*sst), texts);

    // EXTSST points at the first string of each bucket.
    auto ext = r.next();
    ASSERT_TRUE(ext);
    EXPECT_EQ(ext->id, rec::kExtSst);
    RecordCursor c(*ext);
    const unsigned perBucket = c.u16();
    const std::uint32_t second = (c.skip(8), c.u32());
    const std::size_t pos = second;
    // The string at that stream offset is texts[perBucket].
    const std::size_t cch = stream[pos] | (stream[pos + 1] << 8);
    EXPECT_EQ(cch, utf8ToUtf16(texts[perBucket]).size());
}

TEST(SharedStrings, LyingCountsAndCutStrings) {
    // Claims a million strings but holds one.
    Record sst;
    sst.id = rec::kSst;
    sst.data = {1, 0, 0, 0, 0x40, 0x42, 0x0F, 0x00, 2, 0, 0, 'o', 'k'};
    EXPECT_EQ(readSharedStrings(sst), (std::vector<std::string>{"ok"}));
    // A string whose characters run past the data.
    sst.data = {1, 0, 0, 0, 1, 0, 0, 0, 50, 0, 0, 'a', 'b'};
    EXPECT_THROW(readSharedStrings(sst), XlsError);
}

TEST(Strings, Utf8AndUtf16Conversions) {
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")),
              "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Malformed UTF-8 becomes replacement characters instead of being dropped or read past.
    EXPECT_EQ(utf8ToUtf16("a\xC3"), (std::u16string{u'a', 0xFFFD}));
    EXPECT_EQ(utf8ToUtf16("\xE0\x80\x80"), (std::u16string{0xFFFD}));
    // A lone surrogate from a file.
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
}
