// markwell-cli's inputs: setup files and CSV rosters, including their faults and their limits.

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

QStringList fieldsOf(const std::vector<CsvRecord>& records, size_t i) {
    return i < records.size() ? records[i].fields : QStringList{u"<missing>"_s};
}

QByteArray repeated(const QByteArray& part, int times) {
    QByteArray out;
    out.reserve(part.size() * times);
    for (int i = 0; i < times; ++i) {
        out += part;
    }
    return out;
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

TEST(Csv, CarriageReturnLineFeedAndBothEndLinesAlike) {
    for (const QByteArray& end : {QByteArray("\r"), QByteArray("\n"), QByteArray("\r\n")}) {
        const QByteArray text = "a,1" + end + "\"b" + end + "c\",2" + end + end + "d,3" + end;
        const auto records = parseCsv(text, u"r.csv"_s);
        ASSERT_EQ(records.size(), 3u) << text.toStdString();
        // A line break inside a quoted cell is kept, a CRLF as one line feed.
        const QString kept = end == "\r\n" ? u"\n"_s : QString::fromLatin1(end);
        EXPECT_EQ(fieldsOf(records, 1), (QStringList{u"b"_s + kept + u"c"_s, u"2"_s}));
        EXPECT_EQ(records[2].line, 5) << "line numbers count every kind of line end once";
        EXPECT_EQ(failureOf([&] { parseCsv("a" + end + "b\"c" + end, u"r.csv"_s); }),
                  u"r.csv, line 2: a double quote inside a field that does not start with one."_s);
    }
}

TEST(Csv, MalformedLinesNameFileAndLine) {
    const struct {
        QByteArray text;
        QString source, failure;
    } faults[] = {
        {"a,b\nc,\"open\n", u"t.csv"_s, u"t.csv, line 2: a quoted field is not closed."_s},
        {"a,b\nx\"y\",1\n", u"t.csv"_s,
         u"t.csv, line 2: a double quote inside a field that does not start with one."_s},
        {"\"a\"b,1\n", u"t.csv"_s, u"t.csv, line 1: text after the closing double quote of a field."_s},
        {"ok\nfine\nbad \xff\n", u"bin.csv"_s, u"bin.csv, line 3: the text is not UTF-8."_s},
        {QByteArray("\xff\xfeQ\0u\0", 6), u"w.csv"_s,
         u"w.csv: the file is UTF-16 or UTF-32 text; please save it as UTF-8."_s},
        // A file name is put into the message once, whatever it holds.
        {"\"", u"%2 and %1.csv"_s, u"%2 and %1.csv, line 1: a quoted field is not closed."_s},
    };
    for (const auto& [text, source, failure] : faults) {
        EXPECT_EQ(failureOf([&] { parseCsv(text, source); }), failure);
    }
}

TEST(Csv, EmptyRecordsCarryNothingAndExtraFieldsAreOnlyCounted) {
    std::vector<CsvRecord> seen;
    readCsv(",,,\n\"\",\"\"\nA,,B,,\n\n", u"r.csv"_s, 2, [&](const CsvRecord& r) { seen.push_back(r); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].line, 3);
    EXPECT_EQ(seen[0].fields, (QStringList{u"A"_s, QString()}));
    EXPECT_EQ(seen[0].width, 3) << "trailing empty fields do not count";
}

TEST(Csv, RostersWithAndWithoutHeaders) {
    const auto tests =
        readTestsCsv("Assignment or Test Name,Possible Points\nQuiz 1,20\n\"Final, written\",100\n", u"tests.csv"_s);
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[1].name, u"Final, written"_s);
    EXPECT_EQ(tests[1].possiblePoints, u"100"_s);
    EXPECT_EQ(readTestsCsv("Quiz,5,,\n", u"t.csv"_s).size(), 1u) << "empty columns a spreadsheet adds are fine";
    EXPECT_EQ(failureOf([] { readTestsCsv("a,1\nb,2,extra\n", u"t.csv"_s); }),
              u"t.csv, line 2: 3 fields, but a test has two: name and possible points."_s);

    const auto students =
        readStudentsCsv("student name,student id,Quiz 1\nAnn Lee,00123,18\nBo,E16-28\n", u"s.csv"_s, 2);
    ASSERT_EQ(students.size(), 2u);
    EXPECT_EQ(students[0].id, u"00123"_s);
    EXPECT_EQ(students[0].points, (QStringList{u"18"_s, QString()}));
    EXPECT_EQ(students[1].points, (QStringList{QString(), QString()}));
    EXPECT_EQ(failureOf([] { readStudentsCsv("A,1,2,3\n", u"s.csv"_s, 1); }),
              u"s.csv, line 1: 2 points columns, but the gradebook has 1 test."_s);
}

TEST(Csv, RostersLongerThanAListHoldsFail) {
    const QByteArray students = repeated("Ann,1\n", static_cast<int>(kMaxListRows));
    EXPECT_EQ(readStudentsCsv(students, u"s.csv"_s, 0).size(), static_cast<size_t>(kMaxListRows));
    EXPECT_EQ(failureOf([&] { readStudentsCsv(students + "Bo,2\n", u"s.csv"_s, 0); }),
              u"s.csv, line 32768: more than 32767 students: a list holds at most 32767 rows."_s);
    EXPECT_EQ(failureOf([&] { readTestsCsv(repeated("Quiz,1\r", static_cast<int>(kMaxListRows) + 1), u"t.csv"_s); }),
              u"t.csv, line 32768: more than 32767 tests: a list holds at most 32767 rows."_s);
    // One line of a million commas is not kept field by field.
    const QByteArray wide = "Ann,1," + QByteArray(1'000'000, ',') + "9\n";
    EXPECT_EQ(failureOf([&] { readStudentsCsv(wide, u"s.csv"_s, 3); }),
              u"s.csv, line 1: 1000001 points columns, but the gradebook has 3 tests."_s);
}

TEST(SetupFile, ValuesAreTheRestOfTheLineExactly) {
    const SetupValues v = parseSetupFile("txtName= Lincoln High = Best \r\nTests=A^10|B^20\n\ntxtYSQ=\n", u"s.txt"_s);
    EXPECT_EQ(v.text(u"txtName"_s), u" Lincoln High = Best "_s);
    EXPECT_EQ(v.text(u"Tests"_s), u"A^10|B^20"_s);
    EXPECT_TRUE(v.texts.contains(u"txtYSQ"_s));
    EXPECT_FALSE(v.texts.contains(u"Students"_s));
    EXPECT_EQ(v.where(u"Tests"_s), u"s.txt, line 2"_s);
}

TEST(SetupFile, EveryKindOfLineEndSeparatesLines) {
    for (const QByteArray& end : {QByteArray("\r"), QByteArray("\n"), QByteArray("\r\n")}) {
        const SetupValues v =
            parseSetupFile("\xEF\xBB\xBFtxtName=Lincoln" + end + end + "Tests=A^10" + end + "Students=Ann^1^9", u"s"_s);
        EXPECT_EQ(v.text(u"txtName"_s), u"Lincoln"_s);
        EXPECT_EQ(v.text(u"Tests"_s), u"A^10"_s);
        EXPECT_EQ(v.text(u"Students"_s), u"Ann^1^9"_s);
        EXPECT_EQ(v.where(u"Students"_s), u"s, line 4"_s);
    }
}

TEST(SetupFile, FaultsNameTheLine) {
    EXPECT_EQ(failureOf([] { parseSetupFile("txtName=a\rno equals sign\r", u"s.txt"_s); }),
              u"s.txt, line 2: expected key=value, found no \"=\"."_s);
    EXPECT_TRUE(failureOf([] {
                    parseSetupFile("txtName=a\n\nColour=red\n", u"s.txt"_s);
                }).startsWith(u"s.txt, line 3: unknown key \"Colour\""_s));
    EXPECT_EQ(failureOf([] { parseSetupFile("Tests=A^1\ntxtName=x\nTests=B^2\n", u"s.txt"_s); }),
              u"s.txt, line 3: Tests was already given on line 1."_s);
    EXPECT_EQ(failureOf([] { parseSetupFile("txtName=caf\xe9\n", u"%1.txt"_s); }),
              u"%1.txt, line 1: the text is not UTF-8."_s);
}

TEST(SetupFile, ListsThatWouldLoseFieldsFail) {
    SetupValues v;
    v.source = u"s.txt"_s;
    v.origins.insert(u"Tests"_s, u"s.txt, line 5"_s);
    v.texts.insert(u"Tests"_s, u"A^10|B^20^30"_s);
    EXPECT_EQ(failureOf([&] { testsFromValues(v); }),
              u"s.txt, line 5: row 2 of the tests list (\"B\") has 3 fields, but a test has two: name and possible "
              u"points."_s);
    v.texts.insert(u"Tests"_s, u"|A^10||B^20|"_s);
    EXPECT_EQ(testsFromValues(v), (std::vector<TestRow>{{u"A"_s, u"10"_s}, {u"B"_s, u"20"_s}}));

    v.texts.insert(u"Students"_s, u"Ann^S1^9|Bo^S2^1^2^3"_s);
    EXPECT_EQ(failureOf([&] { studentsFromValues(v, 2); }),
              u"s.txt, key Students: row 2 of the students list (\"Bo\") has 3 points fields, but the tests list has "
              u"2 tests."_s);
    const auto students = studentsFromValues(v, 3);
    EXPECT_EQ(students[0].points, (QStringList{u"9"_s, QString(), QString()}));
}

TEST(SetupFile, ListsLongerThanAListHoldsFail) {
    SetupValues v;
    v.source = u"s.txt"_s;
    QString rows = u"Ann^1"_s;
    for (qsizetype i = 1; i < kMaxListRows; ++i) {
        rows += u"|Ann^1"_s;
    }
    v.texts.insert(u"Students"_s, rows + u"||"_s);
    EXPECT_EQ(studentsFromValues(v, 0).size(), static_cast<size_t>(kMaxListRows));
    v.texts.insert(u"Students"_s, rows + u"|Bo^2"_s);
    EXPECT_EQ(failureOf([&] { studentsFromValues(v, 0); }),
              u"s.txt, key Students: the students list has more than 32767 rows, but a list holds at most 32767."_s);
    // Tests beyond what a workbook holds are refused before any student is read.
    QString tests = u"T^1"_s;
    for (int i = 1; i < 251; ++i) {
        tests += u"|T^1"_s;
    }
    v.texts.insert(u"Tests"_s, tests);
    EXPECT_TRUE(failureOf([&] { testsFromValues(v); }).startsWith(u"s.txt, key Tests: The gradebook has 251 tests"_s));
}

TEST(SetupFile, RostersReplaceListsWithoutDroppingPoints) {
    SetupValues v;
    v.source = u"s.txt"_s;
    v.texts.insert(u"txtName"_s, u"Lincoln"_s);
    v.texts.insert(u"Tests"_s, u"A^10|B^20|C^5"_s);
    v.texts.insert(u"Students"_s, u"Ann^S1^9^18|Bo^S2^1^2^3"_s);
    const Roster tests{"Quiz,10\nFinal,90\n", u"tests.csv"_s};
    EXPECT_EQ(failureOf([&] { assembleSetup(v, &tests, nullptr); }),
              u"s.txt, key Students: row 2 of the students list (\"Bo\") has points for test 3, but tests.csv holds "
              u"only 2 tests; give the students as a roster too (--students-csv)."_s);

    v.texts.insert(u"Students"_s, u"Ann^S1^9^18^|Bo^S2^1^2"_s);
    const GradebookSetup setup = assembleSetup(v, &tests, nullptr);
    EXPECT_EQ(setup.options.name, u"Lincoln"_s);
    EXPECT_EQ(setup.pointsCount, 2);
    EXPECT_EQ(setup.students[0].points, (QStringList{u"9"_s, u"18"_s}));

    const Roster students{"Student Name,Student ID\nCy,S3,7,8,9\n", u"students.csv"_s};
    const GradebookSetup fromRosters = assembleSetup(v, nullptr, &students);
    ASSERT_EQ(fromRosters.students.size(), 1u);
    EXPECT_EQ(fromRosters.students[0].points, (QStringList{u"7"_s, u"8"_s, u"9"_s}));
}
