#pragma once

#include "setup/GradebookSetup.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace markwell {

// Undo and Redo for the two lists. Each change is run through record(), which compares the lists
// before and after and keeps only the rows that differ (the run of rows between the common start
// and the common end), so a change to one student of a large class costs one row, not a copy of
// the class. A change may also take the General Options with it (the sample data overwrites them).
class ListHistory {
public:
    // How the General Options are read and written back; without it they are never recorded.
    struct OptionsAccess {
        std::function<GeneralOptions()> read;
        std::function<void(const GeneralOptions&)> write;
    };
    // Told after every change recorded, taken back or done again.
    struct Event {
        enum class Kind { Recorded, Undone, Redone } kind;
        bool testsChanged;
        bool studentsChanged;
    };

    // Steps beyond either bound are forgotten, oldest first.
    static constexpr qsizetype kMaxSteps = 200;
    static constexpr qsizetype kMaxHeldRows = 400000;

    ListHistory(TestsModel& tests, StudentsModel& students);

    void setOptionsAccess(OptionsAccess access) { m_options = std::move(access); }
    void setListener(std::function<void(const Event&)> listener) { m_listener = std::move(listener); }

    // Runs `change` as one step that Undo takes back whole; withOptions records the General
    // Options too. A change that throws is still recorded as far as it went, then the exception
    // goes on. A change that changed nothing leaves no step and clears no Redo.
    void record(const std::function<void()>& change, bool withOptions = false);

    bool canUndo() const { return m_done > 0; }
    bool canRedo() const { return m_done < static_cast<qsizetype>(m_steps.size()); }
    // Return false when there is nothing to take back or do again.
    bool undo();
    bool redo();

    qsizetype heldRows() const { return m_heldRows; }

private:
    template <class Row> struct Range {
        qsizetype at = 0;
        std::vector<Row> before, after;
        bool empty() const { return before.empty() && after.empty(); }
    };
    struct CurrentStudent {
        StudentsModel::Current state;
        qsizetype row;
        friend bool operator==(const CurrentStudent&, const CurrentStudent&) = default;
    };
    struct Step {
        Range<TestRow> tests;
        Range<StudentRow> students;
        CurrentStudent currentBefore, currentAfter;
        std::optional<GeneralOptions> optionsBefore, optionsAfter;
        qsizetype rows() const;
    };

    template <class Row> static Range<Row> difference(const std::vector<Row>& before, const std::vector<Row>& after);
    CurrentStudent current() const;
    void apply(const Step& step, bool forward);
    void push(Step step);

    TestsModel& m_tests;
    StudentsModel& m_students;
    OptionsAccess m_options;
    std::function<void(const Event&)> m_listener;
    std::deque<Step> m_steps;
    qsizetype m_done = 0; // steps [0, m_done) are done; the rest can be done again
    qsizetype m_heldRows = 0;
};

} // namespace markwell
