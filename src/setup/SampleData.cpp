#include "setup/SampleData.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

GeneralOptions SampleData::options() {
    return GeneralOptions{u"Harold Winslow"_s, u"Mrs. Hartley"_s, u"Elementary"_s, u"2016"_s};
}

std::array<TestRow, 2> SampleData::tests() {
    return {TestRow{u"Mathematics"_s, u"80"_s}, TestRow{u"History"_s, u"70"_s}};
}

StudentRow SampleData::student() {
    return StudentRow{u"Thomas Ellery"_s, u"E16-28"_s, {}};
}

qsizetype appendSampleStudent(StudentsModel& students, qsizetype pickerCount) {
    const StudentRow sample = SampleData::student();
    const qsizetype row = students.append(sample.name);
    students.setField(row, 1, sample.id);
    for (qsizetype line = 0; line < pickerCount; ++line) {
        students.setField(row, line + 2, QString::fromUtf16(kSampleStudentPoints));
    }
    return row;
}

} // namespace markwell
