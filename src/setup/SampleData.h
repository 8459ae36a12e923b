#pragma once

#include "setup/GradebookSetup.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include <array>

namespace markwell {

// The example gradebook behind "Load Sample/Example Data".
struct SampleData {
    static GeneralOptions options();
    static std::array<TestRow, 2> tests();
    static StudentRow student(); // name and ID; its points are kSampleStudentPoints per picker line
};

inline constexpr char16_t kSampleStudentPoints[] = u"50";

// Appends the sample student as the sample does it: with "50" for every test the picker holds
// (pickerCount lines), without making it CurrentStudent. Returns the row it appended.
qsizetype appendSampleStudent(StudentsModel& students, qsizetype pickerCount);

} // namespace markwell
