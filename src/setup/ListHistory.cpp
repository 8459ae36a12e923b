#include "setup/ListHistory.h"

#include <algorithm>

namespace markwell {

ListHistory::ListHistory(TestsModel& tests, StudentsModel& students) : m_tests(tests), m_students(students) {}

qsizetype ListHistory::Step::rows() const {
    return static_cast<qsizetype>(tests.before.size() + tests.after.size() + students.before.size() +
                                  students.after.size());
}

template <class Row>
ListHistory::Range<Row> ListHistory::difference(const std::vector<Row>& before, const std::vector<Row>& after) {
    const size_t shorter = std::min(before.size(), after.size());
    size_t start = 0;
    while (start < shorter && before[start] == after[start]) {
        ++start;
    }
    size_t end = 0;
    while (end < shorter - start && before[before.size() - 1 - end] == after[after.size() - 1 - end]) {
        ++end;
    }
    Range<Row> range;
    range.at = static_cast<qsizetype>(start);
    range.before.assign(before.begin() + static_cast<std::ptrdiff_t>(start),
                        before.end() - static_cast<std::ptrdiff_t>(end));
    range.after.assign(after.begin() + static_cast<std::ptrdiff_t>(start),
                       after.end() - static_cast<std::ptrdiff_t>(end));
    return range;
}

ListHistory::CurrentStudent ListHistory::current() const {
    return {m_students.currentState(), m_students.currentRow()};
}

void ListHistory::record(const std::function<void()>& change, bool withOptions) {
    // The rows are shared with the lists until the change writes to them, so taking them is cheap.
    const std::vector<TestRow> tests = m_tests.rows();
    const std::vector<StudentRow> students = m_students.rows();
    const CurrentStudent currentBefore = current();
    const bool options = withOptions && m_options.read && m_options.write;
    std::optional<GeneralOptions> optionsBefore;
    if (options) {
        optionsBefore = m_options.read();
    }
    auto keep = [&] {
        Step step{difference(tests, m_tests.rows()),
                  difference(students, m_students.rows()),
                  currentBefore,
                  current(),
                  optionsBefore,
                  std::nullopt};
        if (options) {
            step.optionsAfter = m_options.read();
        }
        const bool testsChanged = !step.tests.empty();
        const bool studentsChanged = !step.students.empty();
        if (!testsChanged && !studentsChanged && step.currentBefore == step.currentAfter &&
            step.optionsBefore == step.optionsAfter) {
            return;
        }
        push(std::move(step));
        if (m_listener) {
            m_listener(Event{Event::Kind::Recorded, testsChanged, studentsChanged});
        }
    };
    try {
        change();
    } catch (...) {
        keep();
        throw;
    }
    keep();
}

void ListHistory::push(Step step) {
    while (canRedo()) {
        m_heldRows -= m_steps.back().rows();
        m_steps.pop_back();
    }
    m_heldRows += step.rows();
    m_steps.push_back(std::move(step));
    ++m_done;
    // The newest step is always kept, however large.
    while (m_steps.size() > 1 && (static_cast<qsizetype>(m_steps.size()) > kMaxSteps || m_heldRows > kMaxHeldRows)) {
        m_heldRows -= m_steps.front().rows();
        m_steps.pop_front();
        --m_done;
    }
}

void ListHistory::apply(const Step& step, bool forward) {
    auto swap = [forward](const auto& range, auto& model) {
        if (!range.empty()) {
            const auto& gone = forward ? range.before : range.after;
            model.replaceRows(range.at, static_cast<qsizetype>(gone.size()), forward ? range.after : range.before);
        }
    };
    swap(step.tests, m_tests);
    swap(step.students, m_students);
    const CurrentStudent& currentStudent = forward ? step.currentAfter : step.currentBefore;
    m_students.restoreCurrent(currentStudent.state, currentStudent.row);
    const std::optional<GeneralOptions>& options = forward ? step.optionsAfter : step.optionsBefore;
    if (options && m_options.write) {
        m_options.write(*options);
    }
    if (m_listener) {
        m_listener(
            Event{forward ? Event::Kind::Redone : Event::Kind::Undone, !step.tests.empty(), !step.students.empty()});
    }
}

bool ListHistory::undo() {
    if (!canUndo()) {
        return false;
    }
    --m_done;
    apply(m_steps[static_cast<size_t>(m_done)], false);
    return true;
}

bool ListHistory::redo() {
    if (!canRedo()) {
        return false;
    }
    apply(m_steps[static_cast<size_t>(m_done)], true);
    ++m_done;
    return true;
}

} // namespace markwell
