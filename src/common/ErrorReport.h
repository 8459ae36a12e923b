#pragma once

#include <QString>

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace markwell {

class Prompt;

inline constexpr char16_t kSupportEmail[] = u"support@markwell-software.example";
inline constexpr char16_t kApplicationErrorCaption[] = u"Application Error";

// The text of the Application error report, composed piece by piece.
QString composeApplicationError(const QString& location, int lineLabel, const QString& description);

// Shows the Application error report: caption "Application Error", warning icon, OK only.
void ShowApplicationError(Prompt& prompt, const QString& location, int lineLabel, const QString& description);

// A failure that followed the first one in the same run of a command.
struct GatheredFailure {
    QString location;
    int lineLabel = 0;
    QString description;
    int times = 1; // the same step failing again with the same description
};

// At most this many different failures are listed one by one in the gathered report.
inline constexpr int kMaxListedFailures = 20;

// The text of the one further report of a run: every later failure with its location text,
// line label and description (repeats counted), then the screenshot request.
QString composeGatheredFailures(const std::vector<GatheredFailure>& failures);

// A failure of one step. Everything the program's own routines throw derives from
// std::exception; what() is the description (UTF-8) that the report shows unchanged.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description);
    explicit Failure(const std::string& description) : std::runtime_error(description) {}
    QString description() const { return QString::fromUtf8(what()); }
};

// The description of whatever is being handled in a catch block.
QString describeCurrentException();

// The error trap of one run of one routine. Each step runs under it: a failure is reported with
// the routine's location text and the label of the most recent labelled step, then the routine
// goes on with its next statement.
//
//     ErrorTrap trap(prompt, u"in Ledgerly2021/08/31.Form1.Form_Load "_s);
//     trap.step(100, [&] { ApplySkin(); });
//     if (trap.test(102, [&] { return FileExists(path); })) { ... }
//
// One fault, one message: the first failure of a run is shown at once as the Application error
// report; the failures after it, which mostly follow from it, are gathered and shown together in
// one more box when the run ends. A run is the life of the outermost trap on the thread: a
// trapped routine called from another one (a window's load handler run by showing the window)
// belongs to the caller's run.
class ErrorTrap {
public:
    ErrorTrap(Prompt& prompt, QString location);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Makes `label` the current line label, then runs `body` under the trap.
    template <class F> void step(int label, F&& body) {
        m_label = label;
        run(static_cast<F&&>(body));
    }

    // Runs `body` under the trap without changing the current label.
    template <class F> void run(F&& body) {
        try {
            body();
        } catch (...) {
            report(describeCurrentException());
        }
    }

    // The test of an if under the trap: a failing condition is reported and then counts as
    // true, so the statements it guards run (the statement after the failed test is the first
    // statement of its branch).
    template <class F> bool test(int label, F&& condition) {
        m_label = label;
        return test(static_cast<F&&>(condition));
    }
    template <class F> bool test(F&& condition) {
        try {
            return static_cast<bool>(condition());
        } catch (...) {
            report(describeCurrentException());
            return true;
        }
    }

    void setLabel(int label) { m_label = label; }
    int label() const { return m_label; }
    const QString& location() const { return m_location; }
    // Failures of this routine, shown or gathered.
    int reportCount() const { return m_reports; }

    // Reports one failure at the current label: shown at once when it is the run's first,
    // gathered otherwise.
    void report(const QString& description);

private:
    struct Run;
    // The run of the outermost trap now active on this thread.
    static Run*& currentRun();

    Prompt& m_prompt;
    QString m_location;
    int m_label = 0;
    int m_reports = 0;
    Run* m_run = nullptr;
    bool m_ownsRun = false;
};

} // namespace markwell
