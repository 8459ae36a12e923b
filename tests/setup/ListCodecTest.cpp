#include "setup/ListCodec.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

TEST(ListCodec, TestsRoundTripAndEmptyList) {
    const auto decoded = decodeTests(u"A^10|B^20"_s);
    ASSERT_EQ(decoded.rows.size(), 2u);
    EXPECT_EQ(decoded.rows[0], (TestRow{u"A"_s, u"10"_s}));
    EXPECT_EQ(decoded.rows[1], (TestRow{u"B"_s, u"20"_s}));
    EXPECT_TRUE(decoded.problems.isEmpty());
    EXPECT_EQ(encodeTests(decoded.rows), u"A^10|B^20"_s);

    // An emptied list is the empty text and comes back as no rows, not one empty row.
    EXPECT_EQ(encodeTests({}), QString());
    EXPECT_TRUE(decodeTests(QString()).rows.empty());

    // Texts keep their blanks; a test of empty name and points is "^" and comes back.
    const std::vector<TestRow> odd{{u" Quiz 1 "_s, u""_s}, {u""_s, u""_s}, {u"Ünïcode, \"q\" = ;#\\"_s, u"1e3"_s}};
    const QString text = encodeTests(odd);
    EXPECT_EQ(text, u" Quiz 1 ^|^|Ünïcode, \"q\" = ;#\\^1e3"_s);
    EXPECT_EQ(decodeTests(text).rows, odd);
}

TEST(ListCodec, StudentsCarryExactlyNPointsFields) {
    std::vector<StudentRow> students{{u"Ann Lee"_s, u"S-1"_s, {u"18"_s, u"91"_s}}, {u"Bo Chan"_s, u"S-2"_s, {}}};
    EXPECT_EQ(encodeStudents(students, 2), u"Ann Lee^S-1^18^91|Bo Chan^S-2^^"_s);
    // A picker that lags behind the tests list: N is the picker's count, surplus points left out.
    EXPECT_EQ(encodeStudents(students, 1), u"Ann Lee^S-1^18|Bo Chan^S-2^"_s);
    EXPECT_EQ(encodeStudents(students, 0), u"Ann Lee^S-1|Bo Chan^S-2"_s);
    EXPECT_EQ(encodeStudents({{u"Ann Lee"_s, {}, {}}}, 2), u"Ann Lee^^^"_s);

    const auto decoded = decodeStudents(u"Ann Lee^S-1^18^91|Bo Chan^S-2^^"_s, 2);
    ASSERT_EQ(decoded.rows.size(), 2u);
    EXPECT_EQ(decoded.rows[0].points, (QStringList{u"18"_s, u"91"_s}));
    EXPECT_EQ(decoded.rows[1].id, u"S-2"_s);
    EXPECT_EQ(encodeStudents(decoded.rows, 2), u"Ann Lee^S-1^18^91|Bo Chan^S-2^^"_s);

    // A row with the name only: the ID and the points read as empty.
    const auto nameOnly = decodeStudents(u"Cy"_s, 2);
    ASSERT_EQ(nameOnly.rows.size(), 1u);
    EXPECT_EQ(encodeStudents(nameOnly.rows, 2), u"Cy^^^"_s);
}

TEST(ListCodec, SurplusFieldsAreReportedOneByOneAndDropped) {
    // Four points fields but only three tests: the fourth is reported once and dropped.
    const auto students = decodeStudents(u"Ann^1^a^b^c^d|Bo^2^e"_s, 3);
    ASSERT_EQ(students.rows.size(), 2u);
    ASSERT_EQ(students.problems.size(), 1);
    EXPECT_TRUE(students.problems[0].contains(u"\"Ann\""_s)) << students.problems[0].toStdString();
    EXPECT_TRUE(students.problems[0].contains(u"\"d\""_s));
    EXPECT_EQ(encodeStudents(students.rows, 3), u"Ann^1^a^b^c|Bo^2^e^^"_s);

    // A tests row with four fields: two reports, the row keeps name and points.
    const auto tests = decodeTests(u"A^10^x^y|B^20"_s);
    ASSERT_EQ(tests.rows.size(), 2u);
    EXPECT_EQ(tests.rows[0], (TestRow{u"A"_s, u"10"_s}));
    EXPECT_EQ(tests.problems.size(), 2);

    // Empty row texts (from a hand-edited value) give no rows.
    EXPECT_EQ(decodeTests(u"|A^1||"_s).rows.size(), 1u);
}

TEST(ListCodec, EmptySurplusFieldsAreDroppedSilently) {
    // Saved after a test was deleted while the picker still counted it: one empty field too many.
    const auto students = decodeStudents(u"Ann^1^b^|Bo^2^^|Cy^3"_s, 1);
    EXPECT_TRUE(students.problems.isEmpty()) << students.problems.join(u"\n"_s).toStdString();
    EXPECT_EQ(encodeStudents(students.rows, 1), u"Ann^1^b|Bo^2^|Cy^3^"_s);
    EXPECT_TRUE(decodeStudents(u"Ann^1^^^^"_s, 0).problems.isEmpty());
    EXPECT_TRUE(decodeTests(u"A^10^^|B^20^"_s).problems.isEmpty());

    // Only the surplus fields that hold something are reported, by their own position.
    const auto mixed = decodeStudents(u"Ann^1^a^^x^"_s, 1);
    ASSERT_EQ(mixed.problems.size(), 1);
    EXPECT_TRUE(mixed.problems[0].contains(u"points field 3 (\"x\")"_s)) << mixed.problems[0].toStdString();
    const auto tests = decodeTests(u"A^10^^y"_s);
    ASSERT_EQ(tests.problems.size(), 1);
    EXPECT_TRUE(tests.problems[0].contains(u"field 4 (\"y\")"_s)) << tests.problems[0].toStdString();
}

TEST(ListCodec, DamagedValueCannotFloodTheUser) {
    QString row = u"Ann^1"_s;
    for (int i = 0; i < 500; ++i) {
        row += u"^9"_s;
    }
    const auto decoded = decodeStudents(row, 2);
    // The first faults one by one, then one line that counts the rest.
    ASSERT_EQ(decoded.problems.size(), kMaxDecodeProblems + 1);
    EXPECT_TRUE(decoded.problems.last().startsWith(u"%1 further"_s.arg(498 - kMaxDecodeProblems)));
    EXPECT_EQ(decoded.rows[0].points.size(), 2);
}

TEST(ListCodec, SeparatorDetection) {
    EXPECT_TRUE(containsListSeparator(u"a|b"_s));
    EXPECT_TRUE(containsListSeparator(u"x^2"_s));
    EXPECT_FALSE(containsListSeparator(u"a, b; c = \"d\""_s));
}

// A large class repeats the same few points thousands of times: every student still gets his own
// values, and changing one student's points changes nobody else's.
TEST(ListCodec, RepeatedPointsStayEachStudentsOwn) {
    QStringList rows;
    const QString longPoints = u"12.500000000000000001"_s;
    for (int i = 0; i < 3000; ++i) {
        rows << u"S%1^%2^%3^%4^%5"_s.arg(i).arg(100000 + i).arg(i % 7).arg(longPoints, i % 2 ? u"9,5"_s : u""_s);
    }
    auto decoded = decodeStudents(rows.join(u'|'), 3);
    ASSERT_EQ(decoded.rows.size(), 3000u);
    EXPECT_TRUE(decoded.problems.isEmpty());
    for (int i = 0; i < 3000; ++i) {
        const StudentRow& s = decoded.rows[static_cast<std::size_t>(i)];
        ASSERT_EQ(s.points, (QStringList{QString::number(i % 7), longPoints, i % 2 ? u"9,5"_s : u""_s}));
    }
    decoded.rows[7].points[0] += u'5';
    decoded.rows[7].points[2].clear();
    EXPECT_EQ(decoded.rows[0].points[0], u"0"_s);
    EXPECT_EQ(decoded.rows[14].points[0], u"0"_s);
    EXPECT_EQ(decoded.rows[7].points[0], u"05"_s);
    EXPECT_EQ(decoded.rows[9].points[2], u"9,5"_s);
    EXPECT_EQ(encodeStudents(decoded.rows, 3), rows.join(u'|').replace(u"S7^100007^0^"_s + longPoints + u"^9,5"_s,
                                                                       u"S7^100007^05^"_s + longPoints + u"^"_s));
}

// A long list is read in parts: the faults still come in the list's order, capped as one list.
TEST(ListCodec, FaultsOfALongListComeInItsOrder) {
    for (const int faultyEvery : {1000, 100}) {
        QStringList rows;
        for (int i = 0; i < 3000; ++i) {
            rows << (i % faultyEvery == 3 ? u"S%1^%1^1^2^x%1"_s.arg(i) : u"S%1^%1^1^2"_s.arg(i));
        }
        const auto decoded = decodeStudents(rows.join(u'|'), 2);
        ASSERT_EQ(decoded.rows.size(), 3000U);
        EXPECT_EQ(decoded.rows[2999].name, u"S2999"_s);
        const int faults = 3000 / faultyEvery;
        const int described = std::min<int>(faults, kMaxDecodeProblems);
        ASSERT_EQ(decoded.problems.size(), described + (faults > described ? 1 : 0));
        for (int k = 0; k < described; ++k) {
            EXPECT_TRUE(decoded.problems[k].contains(u"\"x%1\""_s.arg(k * faultyEvery + 3))) << k;
        }
        if (faults > described) {
            EXPECT_TRUE(decoded.problems.last().startsWith(u"%1 further"_s.arg(faults - described)));
        }
    }
}
