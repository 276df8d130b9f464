// Device and stream properties by name: readable names and four-character
// codes, the type of each value, and how to read, print and parse it through
// the host's client API.
//
// Main thread of the tool; every call goes through the host layer.
#pragma once

#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "tools/JsonWriter.h"

class PropertyCodec {
public:
    enum class Type {
        kUInt32,
        kSInt32,
        kBool,
        kFourCC,
        kFloat32,
        kFloat64,
        kCString,
        kCFString,
        kFormat,       // AudioStreamBasicDescription
        kFormatList,
        kRange,        // AudioValueRange
        kRangeList,
        kIDList,       // object IDs
        kItemList,     // data-source items, printed with their names
        kBufferList,   // stream configuration
        kTimeStamp,
        kOpaque,       // shown as bytes
    };
    enum class Scope {
        kDevice,
        kStream,
        kBoth,  // the device answers, and so does its stream
    };

    struct Property {
        const char* name;  // readable name, "nominal-sample-rate"
        UInt32 code;       // 'nsrt'
        Type type;
        Scope scope;
        const char* summary;
    };

    // Where a request goes.
    struct Target {
        AudioDeviceID device = 0;
        AudioStreamID stream = 0;  // non-zero: the request goes to this stream
        UInt32 channel = 0;
        bool isInput = false;
    };

    // A property by readable name (or one of its short aliases) or by code
    // ('nsrt', nsrt, 0x6E737274). Unknown codes are still answered, as
    // opaque bytes. Throws a usage error for an unknown name.
    static Property Find(const std::string& inName);
    static const std::vector<Property>& GetTable();
    // "nominal-sample-rate ('nsrt')".
    static std::string Describe(const Property& inProperty);

    // "Kestro Out", or "stream 34 of Kestro Out".
    static std::string DescribeTarget(const Target& inTarget);

    // Reads the raw bytes of a property. Returns the status.
    static OSStatus ReadBytes(const Target& inTarget, UInt32 inCode, std::vector<UInt8>& outBytes);
    static OSStatus WriteBytes(const Target& inTarget, UInt32 inCode, const std::vector<UInt8>& inBytes);
    static OSStatus GetInfo(const Target& inTarget, UInt32 inCode, UInt32& outSize, bool& outWritable);

    // Reads and prints a property as text; throws ToolError when refused.
    static std::string GetText(const Target& inTarget, const Property& inProperty);
    // Parses inText for the property's type and sets it; throws ToolError
    // (usage for text that doesn't parse, system when refused).
    static void SetText(const Target& inTarget, const Property& inProperty, const std::string& inText);

    // Value printing and parsing, used above and by the listing.
    static std::string FourCCString(UInt32 inCode);
    // The text of a string the caller owns, which it releases; "" for null.
    static std::string TakeString(CFStringRef inString);
    static std::string FormatText(const AudioStreamBasicDescription& inFormat);
    static void FormatJson(const AudioStreamBasicDescription& inFormat, JsonWriter& ioJson);
    // Reads "48000 Hz, 8 ch, 24-bit signed integer" (the printed form) and
    // short forms like "48000/8/24" or "44100 2ch 16bit"; missing parts are
    // taken from inBase. Returns false for text it can't read.
    static bool ParseFormat(const std::string& inText, const AudioStreamBasicDescription& inBase,
                            AudioStreamBasicDescription& outFormat);
    // A four-character code from "isdi", "'isdi'" or a number; false otherwise.
    static bool ParseFourCC(const std::string& inText, UInt32& outCode);
    // The name of a data-source item of a device ('lscn'), or "".
    static std::string ItemName(AudioDeviceID inDevice, bool inIsInput, UInt32 inItem);
    // A number as the shortest text that reads back the same.
    static std::string NumberText(double inValue);
};
