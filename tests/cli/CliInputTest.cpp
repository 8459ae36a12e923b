// markwell-cli's inputs: setup files and CSV rosters, including their faults.

#include "cli/CsvRoster.h"
#include "cli/SetupFile.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using namespace markwell::cli;

namespace {
QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
} // namespace

TEST(Csv, QuotingLineBreaksAndByteOrderMark) {
    const auto records = parseCsv("\xEF\xBB\xBF"
                                  "plain,\"with, comma\",\"say \"\"hi\"\"\"\r\n"
                                  "\"two\nlines\",,end\n"
                                  "\n"
                                  "last",
                                  u"r.csv"_s);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fields, (QStringList{u"plain"_s, u"with, comma"_s, u"say \"hi\""_s}));
    EXPECT_EQ(records[1].fields, (QStringList{u"two\nlines"_s, QString(), u"end"_s}));
    EXPECT_EQ(records[1].line, 2);
    EXPECT_EQ(records[2].fields, QStringList{u"last"_s});
    EXPECT_EQ(records[2].line, 5);
}

TEST(Csv, MalformedLinesNameFileAndLine) {
    EXPECT_EQ(failureOf([] { parseCsv("a,b\nc,\"open\n", u"t.csv"_s); }),
              u"t.csv, line 2: a quoted field is not closed."_s);
    EXPECT_EQ(failureOf([] { parseCsv("a,b\nx\"y\",1\n", u"t.csv"_s); }),
              u"t.csv, line 2: a double quote inside a field that does not start with one."_s);
    EXPECT_EQ(failureOf([] { parseCsv("\"a\"b,1\n", u"t.csv"_s); }),
              u"t.csv, line 1: text after the closing double quote of a field."_s);
    EXPECT_TRUE(failureOf([] { parseCsv("\xff\xfe", u"bin.csv"_s); }).contains(u"not UTF-8"_s));
}

TEST(Csv, RostersWithAndWithoutHeaders) {
    const auto tests =
        readTestsCsv("Assignment or Test Name,Possible Points\nQuiz 1,20\n\"Final, written\",100\n", u"tests.csv"_s);
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[1].name, u"Final, written"_s);
    EXPECT_EQ(tests[1].possiblePoints, u"100"_s);
    EXPECT_EQ(readTestsCsv("Quiz,5\n", u"t.csv"_s).size(), 1u);
    EXPECT_TRUE(failureOf([] { readTestsCsv("a,1,extra\n", u"t.csv"_s); }).startsWith(u"t.csv, line 1: 3 fields"_s));

    const auto students =
        readStudentsCsv("student name,student id,Quiz 1\nAnn Lee,00123,18\nBo,E16-28\n", u"s.csv"_s, 2);
    ASSERT_EQ(students.size(), 2u);
    EXPECT_EQ(students[0].id, u"00123"_s);
    EXPECT_EQ(students[0].points, (QStringList{u"18"_s, QString()}));
    EXPECT_EQ(students[1].points, (QStringList{QString(), QString()}));
    EXPECT_TRUE(failureOf([] {
                    readStudentsCsv("A,1,2,3\n", u"s.csv"_s, 1);
                }).startsWith(u"s.csv, line 1: 2 points columns, but there are only 1 tests."_s));
}

TEST(SetupFile, ValuesAreTheRestOfTheLineExactly) {
    const SetupValues v = parseSetupFile("txtName= Lincoln High = Best \r\nTests=A^10|B^20\n\ntxtYSQ=\n", u"s.txt"_s);
    EXPECT_EQ(v.value(u"txtName"_s), u" Lincoln High = Best "_s);
    EXPECT_EQ(v.value(u"Tests"_s), u"A^10|B^20"_s);
    EXPECT_TRUE(v.contains(u"txtYSQ"_s));
    EXPECT_FALSE(v.contains(u"Students"_s));
}

TEST(SetupFile, FaultsNameTheLine) {
    EXPECT_EQ(failureOf([] { parseSetupFile("txtName=a\nno equals sign\n", u"s.txt"_s); }),
              u"s.txt, line 2: expected key=value, found no \"=\"."_s);
    EXPECT_TRUE(failureOf([] {
                    parseSetupFile("txtName=a\n\nColour=red\n", u"s.txt"_s);
                }).startsWith(u"s.txt, line 3: unknown key \"Colour\""_s));
}

TEST(SetupFile, StudentsGetOnePointsFieldPerTest) {
    SetupValues v;
    v.insert(u"Tests"_s, u"A^10|B^20|C^5"_s);
    v.insert(u"Students"_s, u"Ann^S1^9|Bo^S2^1^2^3^4"_s);
    QStringList problems;
    const GradebookSetup s = setupFromValues(v, problems);
    EXPECT_EQ(s.pointsCount, 3);
    ASSERT_EQ(s.students.size(), 2u);
    EXPECT_EQ(s.students[0].points, (QStringList{u"9"_s, QString(), QString()}));
    EXPECT_EQ(s.students[1].points, (QStringList{u"1"_s, u"2"_s, u"3"_s}));
    EXPECT_EQ(problems.size(), 1);
}
