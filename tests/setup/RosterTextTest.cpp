// Class rosters as text (what is pasted, dropped or given to markwell-cli), the question before
// they are added, and the rule that says which points become numbers.

#include "setup/RosterText.h"
#include "setup/PointsText.h"
#include "setup/RosterImport.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include "common/ErrorReport.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

std::vector<RosterRecord> recordsOf(QByteArrayView text, FieldSeparator separator) {
    std::vector<RosterRecord> out;
    readRosterRecords(text, separator, kMaxRowFields, [&](const RosterRecord& r) {
        out.push_back(r);
        return true;
    });
    return out;
}

QStringList linesOf(const std::vector<RosterFault>& faults) {
    QStringList out;
    for (const RosterFault& f : faults) {
        out << u"%1: %2"_s.arg(QString::number(f.line), f.why);
    }
    return out;
}

RosterRules windowRules(const QStringList& testNames = {}) {
    RosterRules rules;
    rules.refuseListSeparators = true;
    rules.testNames = testNames;
    return rules;
}

std::vector<TestRow> testsNamed(const QStringList& names, const QString& possible = u"100"_s) {
    std::vector<TestRow> out;
    for (const QString& n : names) {
        out.push_back({n, possible});
    }
    return out;
}

} // namespace

TEST(RosterText, SeparatorIsATabOnlyWhenTheFirstLineHasOneOutsideQuotes) {
    const struct {
        QByteArray text;
        FieldSeparator expected;
    } cases[] = {
        {"Quiz 1\t20\r\nFinal\t100\r\n", FieldSeparator::Tab},
        {"\n\n\"Brook, Ada\"\tE1\n", FieldSeparator::Tab}, // blank lines first
        {"\"a\tb\",1\nc\td\n", FieldSeparator::Comma},     // the tab is inside quotes
        {"\"two\nlines\"\t1\n", FieldSeparator::Tab},      // a quoted line break does not end the line
        {"\"say \"\"hi\"\"\"\t1\n", FieldSeparator::Tab},
        {"Quiz,20\nFinal\t100\n", FieldSeparator::Comma}, // only the first line decides
        {"Name;ID;Quiz A\r\n", FieldSeparator::Semicolon},
        {"\"Lee, Ann\";1;44,5\n", FieldSeparator::Semicolon}, // a decimal comma as often as semicolons
        {"Essay; part 1,20,x\n", FieldSeparator::Comma},
        {"\"a;b\",1\n", FieldSeparator::Comma},
        {"", FieldSeparator::Comma},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(detectFieldSeparator(text), expected) << text.toStdString();
    }
}

TEST(RosterText, SpreadsheetClipboardRowsWithQuotedTabsCommasAndLineBreaks) {
    // As spreadsheet programs put cells on the clipboard: tabs between cells, a cell holding a tab,
    // a line break or quotes in double quotes, other cells (commas, a lone quote) as they are.
    const QByteArray text = "Brook, Ada\t\"E\t16\"\t\"two\r\nlines\"\r\n"
                            "Essay: \"My Town\"\t\"say \"\"hi\"\"\"\t5\r\n"
                            "\"quoted\" and more\t\"open\t7\r\n";
    const auto records = recordsOf(text, FieldSeparator::Tab);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fields, (QStringList{u"Brook, Ada"_s, u"E\t16"_s, u"two\nlines"_s}));
    EXPECT_EQ(records[1].fields, (QStringList{u"Essay: \"My Town\""_s, u"say \"hi\""_s, u"5"_s}));
    EXPECT_EQ(records[1].line, 3) << "the quoted line break counts";
    // A quote that does not open a properly closed field is a character like any other.
    EXPECT_EQ(records[2].fields, (QStringList{u"\"quoted\" and more"_s, u"\"open"_s, u"7"_s}));
    for (const RosterRecord& r : records) {
        EXPECT_TRUE(r.fault.isEmpty()) << r.fault.toStdString();
    }
}

TEST(RosterText, EveryMalformedRecordIsToldAndReadingGoesOn) {
    const auto records = recordsOf("a,x\"y\nok,1\n\"b\"c,2\nbad \xff,3\nfine,4\n", FieldSeparator::Comma);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].fault, u"a double quote inside a field that does not start with one."_s);
    EXPECT_TRUE(records[1].fault.isEmpty());
    EXPECT_EQ(records[2].fault, u"text after the closing double quote of a field."_s);
    EXPECT_EQ(records[2].fields.value(0), u"bc"_s);
    EXPECT_EQ(records[3].fault, u"the text is not UTF-8."_s);
    EXPECT_EQ(records[3].faultLine, 4);
    EXPECT_EQ(records[4].fields, (QStringList{u"fine"_s, u"4"_s}));

    // A quote never closed swallows the rest: it is the last record, after the record's own fault.
    const auto open = recordsOf("a,1\nb \xff,\"c\n,d\ne,5\n", FieldSeparator::Comma);
    ASSERT_EQ(open.size(), 3u);
    EXPECT_EQ(open[1].fault, u"the text is not UTF-8."_s);
    EXPECT_EQ(open[2].fault, u"a quoted field is not closed."_s);
    EXPECT_EQ(open[2].faultLine, 2);

    EXPECT_EQ(readRosterRecords(QByteArrayView("\xfe\xff\0a", 4), FieldSeparator::Tab, 2,
                                [](const RosterRecord&) { return true; }),
              QString::fromUtf16(kNotUtf8Text));
}

TEST(RosterText, TheWindowsRulesNameEveryRowThatCannotBeTaken) {
    const QByteArray text = "Student Name\tStudent ID\tQuiz\tFinal\n"
                            "Ann Lee\t00123\t18\t91\n"
                            "Too\tMany\t1\t2\t3\n"
                            "Bar|Foo\tS-2\t\t\n"
                            "Bo Chan\tE16-28\t7\t\t\t\n" // empty columns at the end are fine
                            "Cy\tS^3\n"
                            "Di\tS-4\n"
                            "Ed\tS-5\n";
    RosterRules rules = windowRules({u"Quiz"_s, u"Final"_s});
    rules.room = 3;
    const auto roster = readStudentsRoster(text, rules);
    EXPECT_TRUE(roster.headerSkipped);
    ASSERT_EQ(roster.rows.size(), 3u);
    EXPECT_EQ(roster.rows[0], (StudentRow{u"Ann Lee"_s, u"00123"_s, {u"18"_s, u"91"_s}}));
    EXPECT_EQ(roster.rows[1], (StudentRow{u"Bo Chan"_s, u"E16-28"_s, {u"7"_s, QString()}}));
    EXPECT_EQ(roster.rows[2].name, u"Di"_s);
    EXPECT_EQ(roster.widestPoints, 2);
    EXPECT_EQ(linesOf(roster.faults),
              (QStringList{u"3: 5 fields, but the header row has 4."_s,
                           u"4: \"Bar|Foo\" holds a | or ^, which the lists cannot hold."_s,
                           u"6: \"S^3\" holds a | or ^, which the lists cannot hold."_s,
                           u"8: more than 32767 students: a list holds at most 32767 rows."_s}));
    EXPECT_EQ(roster.faultCount, 4);

    // markwell-cli stops at the first fault and takes | and ^ as they are.
    RosterRules cli;
    cli.stopAtFirstFault = true;
    const auto first = readTestsRoster("Quiz|1,20\na,1,x\nb,2,y\n", cli);
    EXPECT_EQ(first.rows, (std::vector<TestRow>{{u"Quiz|1"_s, u"20"_s}}));
    EXPECT_EQ(linesOf(first.faults), QStringList{u"2: 3 fields, but a test has two: name and possible points."_s});
}

TEST(RosterText, ManyBadRowsAreCountedBeyondThoseNamed) {
    QByteArray text;
    for (int i = 0; i < 100; ++i) {
        text += "Quiz,1,extra\n";
    }
    const auto roster = readTestsRoster(text + "Final,100\n", windowRules());
    EXPECT_EQ(roster.faults.size(), static_cast<size_t>(kMaxNamedRosterFaults));
    EXPECT_EQ(roster.faultCount, 100);
    EXPECT_EQ(roster.rows, (std::vector<TestRow>{{u"Final"_s, u"100"_s}}));
    const RosterOffer offer = offerTests(roster, u"\"tests.csv\""_s, u'.');
    EXPECT_TRUE(offer.canAdd);
    EXPECT_TRUE(offer.noByDefault);
    EXPECT_TRUE(offer.text.startsWith(u"Add 1 test?\n\nThe first tests as they will be added:\nFinal: 100 possible "
                                      u"points\n\nThese lines of \"tests.csv\" cannot be taken and will be left "
                                      u"out:\nLine 1: 3 fields, but a test has two: name and possible points.\n"_s))
        << offer.text.toStdString();
    EXPECT_TRUE(offer.text.endsWith(u"\nAnd 80 more lines."_s)) << offer.text.toStdString();
}

TEST(RosterText, CopiedRowsReadBackTheSame) {
    const QStringList captions{u"Student Name"_s, u"Student ID"_s, u"Quiz \"A\""_s, u"Final"_s};
    const std::vector<QStringList> rows{
        {u"Brook, Ada"_s, u"00123"_s, u"12,5"_s, u" 9 "_s},
        {u"Tab\tin name"_s, u"E16-28"_s, u"line\nbreak"_s, u"cr\rlf\n"_s},
        {u"\"Quoted\" Bo"_s, u"Zoë Ünal"_s, QString(), u"7"_s},
        {u"No points"_s, QString(), QString(), QString()},
    };
    const QString text = tabSeparatedText(captions, rows);
    EXPECT_TRUE(text.startsWith(u"Student Name\tStudent ID\t\"Quiz \"\"A\"\"\"\tFinal\n"_s)) << text.toStdString();
    const auto roster = readStudentsRoster(text.toUtf8(), windowRules({u"Final"_s, u"quiz \"a\""_s}));
    EXPECT_TRUE(roster.headerSkipped);
    EXPECT_EQ(roster.faultCount, 0) << linesOf(roster.faults).join(u"\n"_s).toStdString();
    ASSERT_EQ(roster.rows.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const StudentRow& s = roster.rows[i];
        EXPECT_EQ((QStringList{s.name, s.id, s.points[1], s.points[0]}), rows[i]) << i;
    }
}

TEST(RosterImport, OneQuestionOrOneReasonWhyNothingCanBeAdded) {
    EXPECT_EQ(offerTests(readTestsRoster("Quiz\t20\n", windowRules()), u"the pasted text"_s, u'.').text,
              u"Add 1 test?\n\nThe first tests as they will be added:\nQuiz: 20 possible points"_s);
    const QStringList three{u"A"_s, u"B"_s, u"C"_s};
    const auto students = readStudentsRoster("Ann\t1\t5\nBo\t2\t\t6\n", windowRules(three));
    EXPECT_EQ(offerStudents(students, u"the pasted text"_s, testsNamed(three), u'.').text,
              u"Add 2 students with points for 2 tests?\n\nThe first students as they will be added:\n"
              u"Ann (1) - A: 5; B: (none); C: (none)\nBo (2) - A: (none); B: 6; C: (none)"_s);
    EXPECT_TRUE(offerStudents(readStudentsRoster("Ann\t1\n", windowRules(three)), u"x"_s, {}, u'.')
                    .text.startsWith(u"Add 1 student?\n\n"_s));

    const RosterOffer empty = offerTests(readTestsRoster("Assignment or Test Name,Possible Points\n,\n", windowRules()),
                                         u"\"t.csv\""_s, u'.');
    EXPECT_FALSE(empty.canAdd);
    EXPECT_EQ(empty.text, u"There are no tests to add in \"t.csv\"."_s);
    const RosterOffer none = offerTests(readTestsRoster("a|b,1\n", windowRules()), u"the pasted text"_s, u'.');
    EXPECT_FALSE(none.canAdd);
    EXPECT_EQ(none.text, u"Nothing can be added from the pasted text:\n\nLine 1: \"a|b\" holds a | or ^, which the "
                         u"lists cannot hold."_s);
    const RosterOffer wide =
        offerTests(readTestsRoster(QByteArray("\xff\xfe,\0", 4), windowRules()), u"\"t.txt\""_s, u'.');
    EXPECT_FALSE(wide.canAdd);
    EXPECT_EQ(wide.text,
              u"Nothing can be added from \"t.txt\": the file is UTF-16 or UTF-32 text; please save it as UTF-8."_s);
}

TEST(RosterText, AHeaderRowPlacesPointsUnderTheTestsItNames) {
    const std::vector<TestRow> tests{{u"Quiz A"_s, u"20"_s}, {u"Essay"_s, u"50"_s}, {u"Final"_s, u"100"_s}};
    RosterRules rules = windowRules({u"Quiz A"_s, u"Essay"_s, u"Final"_s});
    // As a spreadsheet program saves CSV where the comma is the decimal separator.
    const auto roster = readStudentsRoster("Name;ID; essay ;QUIZ A;Extra\r\nAnn;1;44,5;18;x\r\nBo;2;51;;\r\n", rules);
    EXPECT_EQ(roster.separator, FieldSeparator::Semicolon);
    ASSERT_EQ(roster.rows.size(), 2u);
    EXPECT_EQ(roster.rows[0].points, (QStringList{u"18"_s, u"44.5"_s, QString()}));
    EXPECT_EQ(roster.unmatchedColumns, QStringList{u"\"Extra\""_s});
    const RosterOffer offer = offerStudents(roster, u"x"_s, tests, u'.');
    EXPECT_EQ(offer.text, u"Add 2 students with points for 2 tests?\n\n"
                          u"These columns name no test of the students list and will be left out: \"Extra\".\n\n"
                          u"These tests have no column and get no points: \"Final\".\n\n"
                          u"The first students as they will be added:\n"
                          u"Ann (1) - Quiz A: 18; Essay: 44.5; Final: (none)\n"
                          u"Bo (2) - Quiz A: (none); Essay: 51; Final: (none)\n\n"
                          u"These values will not count as they should:\n"
                          u"Line 3, Essay: \"51\" is more than the possible points (50)."_s);
    EXPECT_TRUE(offer.noByDefault);
    // Under a decimal comma the points stay as written; without captions, columns go by position.
    rules.decimalSeparator = u',';
    EXPECT_EQ(readStudentsRoster("Ann;1;44,5;18\n", rules).rows[0].points,
              (QStringList{u"44,5"_s, u"18"_s, QString()}));
    EXPECT_FALSE(offerStudents(readStudentsRoster("Ann;1;18\n", rules), u"x"_s, tests, u',').noByDefault);
    // Points that happen to be the names of tests named by numbers are points.
    EXPECT_EQ(readStudentsRoster("Ann;5;1;2\n", windowRules({u"1"_s, u"2"_s})).rows.size(), 1u);
}

TEST(RosterImport, RowsAreAppendedAllOrNoneAndTheLastBecomesCurrentStudent) {
    StudentsModel students;
    QAbstractItemModelTester tester{&students, QAbstractItemModelTester::FailureReportingMode::Fatal};
    students.setTestColumns({u"Quiz"_s});
    students.append(u"Old"_s);
    appendStudents(students, {{u"Ann"_s, u"1"_s, {u"5"_s}}, {u"Bo"_s, u"2"_s, {}}});
    ASSERT_EQ(students.size(), 3);
    EXPECT_EQ(students.field(1, 2), u"5"_s);
    EXPECT_EQ(students.currentRow(), 2);

    // Points for a test without a column, or more rows than fit: nothing is appended.
    EXPECT_THROW(appendStudents(students, {{u"Cy"_s, u"3"_s, {}}, {u"Di"_s, u"4"_s, {u"1"_s, u"2"_s}}}), Failure);
    std::vector<StudentRow> many(static_cast<size_t>(kMaxListRows - 2), StudentRow{});
    EXPECT_THROW(appendStudents(students, many), Failure);
    EXPECT_EQ(students.size(), 3);
    EXPECT_EQ(students.currentRow(), 2);

    TestsModel tests;
    tests.append({u"Quiz"_s, u"10"_s});
    EXPECT_THROW(tests.appendRows(std::vector<TestRow>(static_cast<size_t>(kMaxListRows), TestRow{})), Failure);
    EXPECT_EQ(tests.size(), 1);
}

TEST(PointsText, TheDecimalCommaBecomesAPointOnlyWhereItMakesANumber) {
    EXPECT_EQ(decimalSeparatorOf(QLocale(QLocale::German, QLocale::Germany)), u',');
    EXPECT_EQ(decimalSeparatorOf(QLocale::c()), u'.');
    const struct {
        QString text, underComma, underPoint;
    } cases[] = {
        {u"12,5"_s, u"12.5"_s, u"12,5"_s},
        {u" 7,25 "_s, u" 7.25 "_s, u" 7,25 "_s},
        {u"-0,5"_s, u"-0.5"_s, u"-0,5"_s},
        {u"12.5"_s, u"12.5"_s, u"12.5"_s},
        {u"1.000,5"_s, u"1.000,5"_s, u"1.000,5"_s}, // grouping is not a number the workbook reads
        {u"1,2,3"_s, u"1,2,3"_s, u"1,2,3"_s},
        {u"00,5"_s, u"00,5"_s, u"00,5"_s}, // leading zeros stay text, as an ID would
        {u"E16,28"_s, u"E16,28"_s, u"E16,28"_s},
        {u","_s, u","_s, u","_s},
    };
    for (const auto& [text, underComma, underPoint] : cases) {
        EXPECT_EQ(pointsForWorkbook(text, u','), underComma) << text.toStdString();
        EXPECT_EQ(pointsForWorkbook(text, u'.'), underPoint) << text.toStdString();
    }
    EXPECT_FALSE(pointsWillNotCount(u"12,5"_s, u','));
    EXPECT_TRUE(pointsWillNotCount(u"12,5"_s, u'.'));
    for (const QString& counts : {u"80"_s, u"12.5"_s, u""_s, u"  "_s, u"-3"_s}) {
        EXPECT_FALSE(pointsWillNotCount(counts, u'.')) << counts.toStdString();
    }
    for (const QString& text : {u"abc"_s, u"50%"_s, u"007"_s, u"1e5"_s, u"1 000"_s}) {
        EXPECT_TRUE(pointsWillNotCount(text, u',')) << text.toStdString();
    }
}

TEST(PointsText, ListsMarkPointsThatWillNotCount) {
    StudentsModel students;
    students.setDecimalSeparator(u'.');
    students.setTestColumns({u"Quiz"_s, u"Final"_s});
    students.appendRows({{u"Ann 1,5"_s, u"abc"_s, {u"12,5"_s, u"90"_s}}});
    auto marked = [&](int column) { return students.index(0, column).data(kPointsWillNotCountRole).toBool(); };
    EXPECT_FALSE(marked(0)) << "names are never points";
    EXPECT_FALSE(marked(1)) << "nor are IDs";
    EXPECT_TRUE(marked(2));
    EXPECT_FALSE(marked(3));
    EXPECT_EQ(students.index(0, 2).data(Qt::ToolTipRole).toString(),
              u"\"12,5\" is not a number: it will not count in the student's total."_s);
    EXPECT_FALSE(students.index(0, 3).data(Qt::ToolTipRole).isValid());
    EXPECT_EQ(students.index(0, 2).data(Qt::AccessibleDescriptionRole), students.index(0, 2).data(Qt::ToolTipRole));
    students.setDecimalSeparator(u',');
    EXPECT_FALSE(marked(2));
    students.setPossiblePoints({u"10"_s, u"90"_s});
    EXPECT_TRUE(marked(2));
    EXPECT_FALSE(marked(3)) << "the possible points themselves are fine";
    EXPECT_EQ(students.index(0, 2).data(Qt::AccessibleDescriptionRole).toString(),
              u"\"12,5\" is more than the possible points (10)."_s);

    TestsModel tests;
    tests.setDecimalSeparator(u'.');
    tests.appendRows({{u"x"_s, u"twenty"_s}, {u"y"_s, u"20"_s}});
    EXPECT_TRUE(tests.index(0, 1).data(kPointsWillNotCountRole).toBool());
    EXPECT_FALSE(tests.index(0, 0).data(kPointsWillNotCountRole).toBool());
    EXPECT_FALSE(tests.index(1, 1).data(kPointsWillNotCountRole).toBool());
    EXPECT_EQ(tests.index(0, 1).data(Qt::ToolTipRole).toString(),
              u"\"twenty\" is not a number: it will not count in the total possible points."_s);
}

TEST(PointsText, AClassIsCheckedValueByValueAsTheWorkbookReadsIt) {
    const std::vector<TestRow> tests{{u"Quiz"_s, u"10,5"_s}, {u"Essay"_s, u"ten"_s}};
    const QString longNumber = u"1"_s + QString(70, u'0');
    const std::vector<StudentRow> students{
        {u"Ann"_s, u"1"_s, {u"10,5"_s, u"99"_s}},           // at the most, and no limit to pass
        {u"Ben"_s, u"2"_s, {u"10,6"_s, u" "_s}},            // above the most; blank counts as nothing
        {u"Cy"_s, u"3"_s, {u"\uFF11\uFF12"_s, longNumber}}, // full-width digits; 71 digits
    };
    const std::vector<PointsIssue> issues = pointsIssues(tests, students, u',');
    ASSERT_EQ(issues.size(), 4U);
    EXPECT_EQ(issues[0].row, 1);
    EXPECT_EQ(issues[0].test, -1);
    EXPECT_EQ(issues[1].problem, u"\"10,6\" is more than the possible points (10,5)."_s);
    EXPECT_EQ(std::pair(issues[2].row, issues[2].test), std::pair(qsizetype{2}, qsizetype{0}));
    EXPECT_EQ(std::pair(issues[3].row, issues[3].test), std::pair(qsizetype{2}, qsizetype{1}));
    EXPECT_EQ(pointsNumber(u"10,5"_s, u','), 10.5);
    EXPECT_EQ(pointsNumber(u" 17 "_s, u'.'), 17);

    // A large class is checked in parts; its issues still come row by row.
    const std::vector<TestRow> many(100, TestRow{u"Quiz"_s, u"10"_s});
    std::vector<StudentRow> large(3000, StudentRow{u"S"_s, u"1"_s, QStringList(100, u"7"_s)});
    large[2990].points[1] = u"11"_s;
    large[5].points[99] = u"x"_s;
    const std::vector<PointsIssue> found = pointsIssues(many, large, u'.');
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(std::pair(found[0].row, found[0].test), std::pair(qsizetype{5}, qsizetype{99}));
    EXPECT_EQ(std::pair(found[1].row, found[1].test), std::pair(qsizetype{2990}, qsizetype{1}));
}
