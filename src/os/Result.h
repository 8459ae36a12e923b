#pragma once

// How the system layer answers. Every call that can fail returns a Result: the value asked for,
// or the reason it could not be had, in a sentence that does not name the file (the caller knows
// which file it asked about and names it) and, where the system gave one, its error number.
// Callers branch on the number, never on the sentence.

#include <QString>

#include <optional>
#include <utility>

namespace markwell::os {

// The system's own wording of an error number ("No space left on device").
QString errorText(int errorNumber);

// Why a call failed: the sentence for people and the system's error number behind it (0 when the
// sentence is the system layer's own, such as "it is a folder, not a file").
struct Reason {
    QString text;
    int errorNumber = 0;

    static Reason ofError(int number) { return {errorText(number), number}; }
    static Reason saying(QString sentence) { return {std::move(sentence), 0}; }
};

// The value of a call that worked, or the Reason it failed. Tested as a bool; the value is read
// with * and -> only when it is there.
template <class T = void> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Reason reason) : m_reason(std::move(reason)) {}

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

    const QString& reason() const { return m_reason.text; }
    int errorNumber() const { return m_reason.errorNumber; }
    // The failure as it is, for passing it on.
    const Reason& why() const { return m_reason; }

private:
    std::optional<T> m_value;
    Reason m_reason;
};

// A call that gives nothing back (Result<>): done, or the Reason it was not.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Reason reason) : m_failed(true), m_reason(std::move(reason)) {}

    explicit operator bool() const { return !m_failed; }
    const QString& reason() const { return m_reason.text; }
    int errorNumber() const { return m_reason.errorNumber; }

private:
    bool m_failed = false;
    Reason m_reason;
};

} // namespace markwell::os
