#include "workbook/xls/cfb/CompoundFileReader.h"
#include "workbook/xls/cfb/CompoundFileWriter.h"

#include <gtest/gtest.h>

using namespace markwell::xls;
using markwell::xls::cfb::CompoundFileReader;
using markwell::xls::cfb::CompoundFileWriter;

namespace {

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 9)) & 0xFF);
    }
    return b;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
}

XlsErrorKind errorOf(Bytes file) {
    try {
        CompoundFileReader r(std::move(file));
        for (auto i : r.rootStreams()) {
            r.readStream(i);
        }
    } catch (const XlsError& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
        return e.kind();
    }
    ADD_FAILURE() << "the damaged file was accepted";
    return XlsErrorKind::Unsupported;
}

} // namespace

// Streams of every size class (empty, mini stream, just below and above the cut-off, many
// sectors) come back byte for byte, found by name without regard to case.
TEST(CompoundFile, StreamsOfEverySizeRoundTrip) {
    const std::vector<std::size_t> sizes = {0, 1, 63, 64, 65, 4095, 4096, 4097, 70000};
    CompoundFileWriter w;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        w.addStream("Stream" + std::to_string(i), pattern(sizes[i], static_cast<unsigned>(i)));
    }
    CompoundFileReader r(w.build());
    EXPECT_EQ(r.rootStreams().size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        auto index = r.findStream("STREAM" + std::to_string(i));
        ASSERT_TRUE(index.has_value()) << i;
        EXPECT_EQ(r.readStream(*index), pattern(sizes[i], static_cast<unsigned>(i))) << "size " << sizes[i];
    }
    EXPECT_FALSE(r.findStream("Book").has_value());
}

// A stream big enough that its allocation table needs more than the 109 sector numbers the
// header holds (the DIFAT chain is then used).
TEST(CompoundFile, LargeStreamUsesDifat) {
    const std::size_t size = 9 * 1024 * 1024;
    CompoundFileWriter w;
    w.addStream("Workbook", pattern(size, 3));
    Bytes file = w.build();
    EXPECT_NE(file[68] | file[69] | file[70] | file[71], 0xFF); // a DIFAT chain starts somewhere
    CompoundFileReader r(std::move(file));
    EXPECT_EQ(r.readStream(*r.findStream("workbook")), pattern(size, 3));
}

TEST(CompoundFile, WriterRefusesBadNames) {
    CompoundFileWriter w;
    w.addStream("Workbook", {});
    EXPECT_THROW(w.addStream("WORKBOOK", {}), XlsError);
    EXPECT_THROW(w.addStream(std::string(32, 'x'), {}), XlsError);
    EXPECT_THROW(w.addStream("", {}), XlsError);
}

// Damaged containers are refused with the right kind of error, never read out of bounds.
TEST(CompoundFile, DamagedContainersAreRefused) {
    CompoundFileWriter w;
    w.addStream("Workbook", pattern(20000, 1));
    w.addStream("Small", pattern(300, 2));
    const Bytes good = w.build();
    ASSERT_NO_THROW(CompoundFileReader{good});

    EXPECT_EQ(errorOf(Bytes{'P', 'K', 3, 4, 0, 0}), XlsErrorKind::NotCompoundFile);
    EXPECT_EQ(errorOf(Bytes(good.begin(), good.begin() + 300)), XlsErrorKind::Truncated);

    Bytes badVersion = good;
    badVersion[26] = 5;
    EXPECT_EQ(errorOf(badVersion), XlsErrorKind::Corrupt);

    // The Workbook stream's first sector (0) points back to itself: a loop.
    Bytes loop = good;
    const std::uint32_t fatSector = load32(good.data() + 76);
    put32(loop, (fatSector + 1) * 512, 0);
    EXPECT_EQ(errorOf(loop), XlsErrorKind::Corrupt);

    // The chain points far beyond the file.
    Bytes outOfRange = good;
    put32(outOfRange, (fatSector + 1) * 512, 0x00FFFFFF);
    EXPECT_EQ(errorOf(outOfRange), XlsErrorKind::Corrupt);

    // A stream size much larger than the file.
    Bytes hugeSize = good;
    const std::uint32_t dirSector = load32(good.data() + 48);
    const std::size_t workbookEntry = (dirSector + 1) * 512 + 128; // entry 1 is the first stream
    put32(hugeSize, workbookEntry + 120, 0x7FFFFFFF);
    EXPECT_EQ(errorOf(hugeSize), XlsErrorKind::Corrupt);

    // An absurd count of allocation table sectors is only a hint: the listed table still reads.
    Bytes manyFat = good;
    put32(manyFat, 44, 0x10000000);
    EXPECT_NO_THROW(CompoundFileReader{manyFat});
    // ... but a DIFAT chain that loops onto itself is refused.
    CompoundFileWriter big;
    big.addStream("Workbook", pattern(300000, 4));
    Bytes difatLoop = big.build();
    put32(difatLoop, 44, 500);
    put32(difatLoop, 68, 1);
    for (std::size_t i = 0; i < 128; ++i) {
        put32(difatLoop, 2 * 512 + 4 * i, 1);
    }
    EXPECT_EQ(errorOf(difatLoop), XlsErrorKind::Corrupt);

    // The file cut inside the Workbook stream's sectors.
    Bytes cut(good.begin(), good.begin() + 512 * 10);
    EXPECT_NE(errorOf(cut), XlsErrorKind::NotCompoundFile);
}

// A stream whose sectors follow one another is seen in the caller's bytes without a copy; one
// whose chain jumps about is gathered into the storage. Both come back byte for byte.
TEST(CompoundFile, StreamsAreViewedInPlaceOrGathered) {
    CompoundFileWriter w;
    w.addStream("First", pattern(4096, 5));  // sectors 0 to 7
    w.addStream("Second", pattern(4096, 6)); // sectors 8 to 15
    const Bytes laidOut = w.build();
    // The same streams with the second sector of each swapped: First runs 0, 8, 2 ..., Second
    // 1, 9, 10 ...
    Bytes swapped = laidOut;
    std::swap_ranges(swapped.begin() + 2 * 512, swapped.begin() + 3 * 512, swapped.begin() + 9 * 512);
    const std::size_t fat = (load32(laidOut.data() + 76) + 1) * 512;
    put32(swapped, fat + 0 * 4, 8);
    put32(swapped, fat + 8 * 4, 2);
    put32(swapped, fat + 1 * 4, 9);
    const std::size_t dir = (load32(laidOut.data() + 48) + 1) * 512;
    for (std::size_t entry = 1; entry <= 2; ++entry) {
        if (load32(swapped.data() + dir + entry * 128 + 116) == 8) {
            put32(swapped, dir + entry * 128 + 116, 1);
        }
    }
    for (const Bytes* file : std::initializer_list<const Bytes*>{&laidOut, &swapped}) {
        const auto r = CompoundFileReader::borrowing(*file);
        for (const auto& [name, seed] : {std::pair{"First", 5u}, std::pair{"Second", 6u}}) {
            Bytes storage;
            const ByteView view = r.streamView(*r.findStream(name), storage);
            EXPECT_EQ(Bytes(view.begin(), view.end()), pattern(4096, seed)) << name;
            const bool inFile = view.data() >= file->data() && view.data() < file->data() + file->size();
            EXPECT_EQ(inFile, file == &laidOut) << name;
        }
    }
}
