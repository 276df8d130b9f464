// A small JSON writer: objects, arrays, strings (escaped), numbers, booleans
// and null, with two-space indentation. Keys and values are written in the
// order they are given; nothing is checked beyond the nesting.
#pragma once

#include <string>
#include <vector>

class JsonWriter {
public:
    JsonWriter() = default;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The key of the next value inside an object.
    JsonWriter& Key(const std::string& inKey);
    void String(const std::string& inValue);
    void Number(double inValue);
    void Integer(long long inValue);
    void Bool(bool inValue);
    void Null();

    // The text written so far, ending in a newline once everything is closed.
    std::string GetText() const;

private:
    void BeforeValue();
    void WriteString(const std::string& inValue);
    void Indent();

    std::string mText;
    std::vector<bool> mFirst;  // per open level: no element written yet
    bool mAfterKey = false;
};
