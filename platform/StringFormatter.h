// printf-style formatting for foundation strings. %@ prints an object: the
// text of a string, the value of a number, "(null)" for null. Every other
// conversion (flags, width, precision and length modifiers included, '*'
// widths too) is formatted by the C library one conversion at a time. %n is
// consumed and ignored. Internal to the platform library.
#pragma once

#include <cstdarg>
#include <string>

class StringFormatter {
public:
    // format is UTF-8. Any thread.
    static std::string Format(const char* format, va_list arguments);

private:
    static void AppendObject(std::string& out, const void* object);
};
