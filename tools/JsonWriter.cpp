#include "tools/JsonWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void JsonWriter::Indent()
{
    mText += '\n';
    mText.append(2 * mFirst.size(), ' ');
}

void JsonWriter::BeforeValue()
{
    if (mAfterKey) {
        mAfterKey = false;
        return;
    }
    if (!mFirst.empty()) {
        if (!mFirst.back()) {
            mText += ',';
        }
        mFirst.back() = false;
        Indent();
    }
}

void JsonWriter::BeginObject()
{
    BeforeValue();
    mText += '{';
    mFirst.push_back(true);
}

void JsonWriter::EndObject()
{
    bool empty = mFirst.back();
    mFirst.pop_back();
    if (!empty) {
        Indent();
    }
    mText += '}';
    if (mFirst.empty()) {
        mText += '\n';
    }
}

void JsonWriter::BeginArray()
{
    BeforeValue();
    mText += '[';
    mFirst.push_back(true);
}

void JsonWriter::EndArray()
{
    bool empty = mFirst.back();
    mFirst.pop_back();
    if (!empty) {
        Indent();
    }
    mText += ']';
    if (mFirst.empty()) {
        mText += '\n';
    }
}

JsonWriter& JsonWriter::Key(const std::string& inKey)
{
    BeforeValue();
    WriteString(inKey);
    mText += ": ";
    mAfterKey = true;
    return *this;
}

void JsonWriter::String(const std::string& inValue)
{
    BeforeValue();
    WriteString(inValue);
}

void JsonWriter::WriteString(const std::string& inValue)
{
    mText += '"';
    for (unsigned char c : inValue) {
        switch (c) {
        case '"': mText += "\\\""; break;
        case '\\': mText += "\\\\"; break;
        case '\n': mText += "\\n"; break;
        case '\r': mText += "\\r"; break;
        case '\t': mText += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                mText += escaped;
            } else {
                mText += char(c);
            }
        }
    }
    mText += '"';
}

void JsonWriter::Number(double inValue)
{
    BeforeValue();
    if (!std::isfinite(inValue)) {
        mText += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.17g", inValue);
    if (inValue == std::floor(inValue) && std::fabs(inValue) < 1e15) {
        std::snprintf(text, sizeof(text), "%.0f", inValue);
        mText += text;
        return;
    }
    // The shortest text that reads back the same value.
    for (int precision = 1; precision <= 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof(shorter), "%.*g", precision, inValue);
        if (std::strtod(shorter, nullptr) == inValue) {
            std::snprintf(text, sizeof(text), "%s", shorter);
            break;
        }
    }
    mText += text;
}

void JsonWriter::Integer(long long inValue)
{
    BeforeValue();
    mText += std::to_string(inValue);
}

void JsonWriter::Bool(bool inValue)
{
    BeforeValue();
    mText += inValue ? "true" : "false";
}

void JsonWriter::Null()
{
    BeforeValue();
    mText += "null";
}

std::string JsonWriter::GetText() const
{
    return mText;
}
