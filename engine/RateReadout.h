#pragma once

#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

/** What a rate display shows. The thread that sets a rate (the audio thread, at a tempo change)
    only stores the number and, for a note value, its name; the thread that shows it formats the
    text, in the same form in every locale. The two are read apart, so a display may for one
    refresh show a number with the previous name cleared; the next refresh is whole again. */
class RateReadout
{
public:
    void set (double value, const char* name = nullptr) noexcept
    {
        number.store (value, std::memory_order_relaxed);
        noteName.store (name, std::memory_order_relaxed);
    }

    double value() const noexcept { return number.load (std::memory_order_relaxed); }

    /** "0.50", a runaway rate as "2.75e+295", or the note value's name ("1/16T"); "-" before any. */
    std::string text() const
    {
        if (const char* name = noteName.load (std::memory_order_relaxed))
            return name;
        const double v = number.load (std::memory_order_relaxed);
        if (std::isnan (v))
            return "-";
        char buffer[32];
        const auto format = std::abs (v) < 1.0e9 ? std::chars_format::fixed : std::chars_format::scientific;
        const auto end = std::to_chars (buffer, buffer + sizeof buffer, v, format, 2).ptr;
        return std::string (buffer, end);
    }

private:
    std::atomic<double> number { std::numeric_limits<double>::quiet_NaN() };
    std::atomic<const char*> noteName { nullptr };
};
