#include "platform/StringFormatter.h"

#include "platform/CFNumberObject.h"
#include "platform/CFStringObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif

namespace {

template <typename T>
void AppendOne(std::string& out, const std::string& spec, T value)
{
    char small[128];
    int needed = std::snprintf(small, sizeof(small), spec.c_str(), value);
    if (needed < 0) {
        return;
    }
    if (size_t(needed) < sizeof(small)) {
        out.append(small, size_t(needed));
        return;
    }
    std::string big(size_t(needed) + 1, '\0');
    std::snprintf(big.data(), big.size(), spec.c_str(), value);
    out.append(big.data(), size_t(needed));
}

} // namespace

void StringFormatter::AppendObject(std::string& out, const void* object)
{
    if (object == nullptr) {
        out += "(null)";
        return;
    }
    const CFObject* base = CFObject::From(object);
    switch (base->GetType()) {
    case CFObject::Type::kString:
        out += static_cast<const CFStringObject*>(base)->ToUTF8();
        break;
    case CFObject::Type::kNumber: {
        auto number = static_cast<const CFNumberObject*>(base);
        char text[64];
        if (number->IsFloat()) {
            std::snprintf(text, sizeof(text), "%g", number->mFloat);
        } else {
            std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(number->mInteger));
        }
        out += text;
        break;
    }
    default: {
        char text[64];
        std::snprintf(text, sizeof(text), "<CFType %p>", object);
        out += text;
        break;
    }
    }
}

std::string StringFormatter::Format(const char* format, va_list arguments)
{
    std::string out;
    if (format == nullptr) {
        return out;
    }
    va_list args;
    va_copy(args, arguments);
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        // Rebuild the conversion with '*' replaced by the argument's value.
        std::string spec = "%";
        while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) {
            spec += *p++;
        }
        auto takeNumber = [&]() {
            if (*p == '*') {
                spec += std::to_string(va_arg(args, int));
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') {
                    spec += *p++;
                }
            }
        };
        takeNumber();
        if (*p == '.') {
            spec += *p++;
            takeNumber();
        }
        std::string length;
        while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) {
            length += *p++;
        }
        const char conversion = *p;
        if (conversion == '\0') {
            out.append(start); // an unfinished conversion prints as written
            break;
        }
        ++p;
        const std::string lengthForC = (length == "q") ? "ll" : length;
        const std::string full = spec + lengthForC + conversion;
        switch (conversion) {
        case 'd':
        case 'i':
            if (length == "l") {
                AppendOne(out, full, va_arg(args, long));
            } else if (length == "ll" || length == "q") {
                AppendOne(out, full, va_arg(args, long long));
            } else if (length == "j") {
                AppendOne(out, full, va_arg(args, intmax_t));
            } else if (length == "z") {
                AppendOne(out, full, va_arg(args, ptrdiff_t));
            } else if (length == "t") {
                AppendOne(out, full, va_arg(args, ptrdiff_t));
            } else {
                AppendOne(out, full, va_arg(args, int));
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            if (length == "l") {
                AppendOne(out, full, va_arg(args, unsigned long));
            } else if (length == "ll" || length == "q") {
                AppendOne(out, full, va_arg(args, unsigned long long));
            } else if (length == "j") {
                AppendOne(out, full, va_arg(args, uintmax_t));
            } else if (length == "z" || length == "t") {
                AppendOne(out, full, va_arg(args, size_t));
            } else {
                AppendOne(out, full, va_arg(args, unsigned int));
            }
            break;
        case 'c':
            if (length == "l") {
                AppendOne(out, full, va_arg(args, wint_t));
            } else {
                AppendOne(out, full, va_arg(args, int));
            }
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == "L") {
                AppendOne(out, full, va_arg(args, long double));
            } else {
                AppendOne(out, full, va_arg(args, double));
            }
            break;
        case 's':
            if (length == "l") {
                const wchar_t* text = va_arg(args, const wchar_t*);
                AppendOne(out, full, text != nullptr ? text : L"(null)");
            } else {
                const char* text = va_arg(args, const char*);
                AppendOne(out, full, text != nullptr ? text : "(null)");
            }
            break;
        case 'p':
            AppendOne(out, full, va_arg(args, void*));
            break;
        case '@':
            AppendObject(out, va_arg(args, const void*));
            break;
        case 'n':
            (void)va_arg(args, void*); // never written through
            break;
        default:
            out.append(start, size_t(p - start)); // unknown conversion: printed as written
            break;
        }
    }
    va_end(args);
    return out;
}
