#pragma once

#include <clocale>
#include <initializer_list>

namespace test
{
/** Switches numbers to a locale with a decimal comma, as some hosts run in; the name, or nullptr
    where none is installed (scripts/install-deps.sh generates de_DE.UTF-8). */
inline const char* useCommaLocale()
{
    for (const char* name : { "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8" })
        if (std::setlocale (LC_NUMERIC, name) != nullptr)
            return name;
    return nullptr;
}
} // namespace test
