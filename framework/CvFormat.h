// The one printf-style formatter: the system's format strings as they stand, through fmt::sprintf.
#pragma once

#include <fmt/printf.h>

#include <string>

template <typename... TArgs>
std::string CvFormat(const std::string& format, const TArgs&... args)
{
    return fmt::sprintf(format, args...);
}
