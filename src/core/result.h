#pragma once

#include <QString>
#include <optional>
#include <utility>

// A failure to tell the user, as a message box's title and text; empty when all went well.
struct Notice
{
    QString title, text;
    explicit operator bool() const { return !title.isEmpty(); }
};

// A value, or the text that says why there is none (ready to show to the user): errors are
// returned, and the windows show them. Result<> is an outcome without a value: success, or the
// reason of a failure (of a file-system call: the file and the system's reason).
template<typename T = void> class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    { }
    static Result failure(QString error)
    {
        Result r;
        r.m_error = std::move(error);
        return r;
    }
    explicit operator bool() const { return m_value.has_value(); }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    const QString &error() const { return m_error; }
    // The value where there is one, for what keeps it without the reason.
    operator std::optional<T>() const { return m_value; }

private:
    Result() = default;
    std::optional<T> m_value;
    QString m_error;
};

template<> class Result<void>
{
public:
    Result() = default;
    static Result success() { return {}; }
    static Result failure(QString error)
    {
        Result r;
        r.m_failed = true;
        r.m_error = std::move(error);
        return r;
    }
    explicit operator bool() const { return !m_failed; }
    const QString &error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};
