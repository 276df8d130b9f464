#include "tools/PropertyCodec.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/AudioHardwareHost.h"
#include "tools/KestroSession.h"
#include "tools/ToolError.h"

namespace {

using Type = PropertyCodec::Type;
using Scope = PropertyCodec::Scope;

const std::vector<PropertyCodec::Property> kTable = {
    {"device-name", FourCC("name"), Type::kCString, Scope::kBoth, "name (C string)"},
    {"device-name-cfstring", FourCC("lnam"), Type::kCFString, Scope::kBoth, "name (string object)"},
    {"device-manufacturer", FourCC("makr"), Type::kCString, Scope::kDevice, "manufacturer (C string)"},
    {"device-manufacturer-cfstring", FourCC("lmak"), Type::kCFString, Scope::kDevice, "manufacturer (string object)"},
    {"device-uid", FourCC("uid "), Type::kCFString, Scope::kDevice, "persistent unique ID"},
    {"transport-type", FourCC("tran"), Type::kFourCC, Scope::kDevice, "how the device is connected"},
    {"device-is-alive", FourCC("livn"), Type::kBool, Scope::kDevice, "the device is usable"},
    {"device-is-running", FourCC("goin"), Type::kBool, Scope::kDevice, "an IOProc runs on it"},
    {"device-is-running-somewhere", FourCC("gone"), Type::kBool, Scope::kDevice, "it runs in some process"},
    {"device-can-be-default-device", FourCC("dflt"), Type::kBool, Scope::kDevice, "may be the default device"},
    {"device-can-be-default-system-device", FourCC("sflt"), Type::kBool, Scope::kDevice,
     "may be the system sounds device"},
    {"hog-mode", FourCC("oink"), Type::kSInt32, Scope::kDevice, "process owning the device, -1 if free"},
    {"latency", FourCC("ltnc"), Type::kUInt32, Scope::kBoth, "latency in frames"},
    {"safety-offset", FourCC("saft"), Type::kUInt32, Scope::kDevice, "safety offset in frames"},
    {"actual-sample-rate", FourCC("asrt"), Type::kFloat64, Scope::kDevice, "measured sample rate (while running)"},
    {"uses-variable-buffer-frame-sizes", FourCC("vfsz"), Type::kUInt32, Scope::kDevice,
     "largest variable buffer in frames"},
    {"buffer-size", FourCC("bsiz"), Type::kUInt32, Scope::kDevice, "I/O buffer size in bytes"},
    {"buffer-size-range", FourCC("bsz#"), Type::kRange, Scope::kDevice, "I/O buffer size range in bytes"},
    {"buffer-frame-size", FourCC("fsiz"), Type::kUInt32, Scope::kDevice, "I/O buffer size in frames"},
    {"buffer-frame-size-range", FourCC("fsz#"), Type::kRange, Scope::kDevice, "I/O buffer size range in frames"},
    {"streams", FourCC("stm#"), Type::kIDList, Scope::kDevice, "IDs of the published streams"},
    {"stream-configuration", FourCC("slay"), Type::kBufferList, Scope::kDevice, "channels per stream buffer"},
    {"stream-format", FourCC("sfmt"), Type::kFormat, Scope::kBoth, "the format clients see"},
    {"stream-formats", FourCC("sfm#"), Type::kFormatList, Scope::kBoth, "the formats clients may choose"},
    {"nominal-sample-rate", FourCC("nsrt"), Type::kFloat64, Scope::kBoth, "sample rate in Hz"},
    {"available-nominal-sample-rates", FourCC("nsr#"), Type::kRangeList, Scope::kBoth, "sample rates offered"},
    {"volume-scalar", FourCC("volm"), Type::kFloat32, Scope::kBoth, "volume, 0 .. 1"},
    {"volume-decibels", FourCC("vold"), Type::kFloat32, Scope::kBoth, "volume in dB"},
    {"volume-range-decibels", FourCC("vdb#"), Type::kRange, Scope::kBoth, "volume range in dB"},
    {"mute", FourCC("mute"), Type::kBool, Scope::kBoth, "muted"},
    {"play-thru", FourCC("thru"), Type::kBool, Scope::kBoth, "input played through"},
    {"data-source", FourCC("ssrc"), Type::kFourCC, Scope::kBoth, "selected input connector"},
    {"data-sources", FourCC("ssc#"), Type::kItemList, Scope::kBoth, "input connectors offered"},
    {"clock-source", FourCC("csrc"), Type::kFourCC, Scope::kBoth, "selected clock source"},
    {"clock-sources", FourCC("csc#"), Type::kItemList, Scope::kBoth, "clock sources offered"},
    {"requires-video", FourCC("Dvrv"), Type::kUInt32, Scope::kDevice, "the unit needs a video signal"},
    {"direction", FourCC("sdir"), Type::kUInt32, Scope::kStream, "0 output, 1 input"},
    {"terminal-type", FourCC("term"), Type::kUInt32, Scope::kStream, "kind of terminal"},
    {"starting-channel", FourCC("schn"), Type::kUInt32, Scope::kStream, "first device channel of the stream"},
    {"owning-device", FourCC("stdv"), Type::kUInt32, Scope::kStream, "ID of the stream's device"},
    {"physical-format", FourCC("pft "), Type::kFormat, Scope::kStream, "the format on the wire"},
    {"physical-formats", FourCC("pft#"), Type::kFormatList, Scope::kStream, "the formats the unit offers"},
};

struct Alias {
    const char* alias;
    const char* name;
};

const Alias kAliases[] = {
    {"name", "device-name"},         {"manufacturer", "device-manufacturer"},
    {"uid", "device-uid"},           {"transport", "transport-type"},
    {"alive", "device-is-alive"},    {"running", "device-is-running"},
    {"sample-rate", "nominal-sample-rate"}, {"rate", "nominal-sample-rate"},
    {"format", "stream-format"},     {"formats", "stream-formats"},
    {"source", "data-source"},       {"sources", "data-sources"},
    {"frame-size", "buffer-frame-size"},
};

std::string Lower(std::string inText)
{
    std::transform(inText.begin(), inText.end(), inText.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return inText;
}

std::string Trim(const std::string& inText)
{
    size_t first = inText.find_first_not_of(" \t\n");
    if (first == std::string::npos) {
        return {};
    }
    size_t last = inText.find_last_not_of(" \t\n");
    return inText.substr(first, last - first + 1);
}

bool ParseDouble(const std::string& inText, double& outValue)
{
    std::string text = Trim(inText);
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    outValue = std::strtod(text.c_str(), &end);
    std::string rest = Lower(Trim(end));
    return rest.empty() || rest == "hz" || rest == "db";
}

bool ParseUInt(const std::string& inText, UInt32& outValue)
{
    std::string text = Trim(inText);
    if (text.empty() || text[0] == '-') {
        return false;
    }
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (*end != 0 || value > 0xFFFFFFFFull) {
        return false;
    }
    outValue = UInt32(value);
    return true;
}

bool ParseBool(const std::string& inText, bool& outValue)
{
    std::string text = Lower(Trim(inText));
    if (text == "1" || text == "true" || text == "yes" || text == "on") {
        outValue = true;
        return true;
    }
    if (text == "0" || text == "false" || text == "no" || text == "off") {
        outValue = false;
        return true;
    }
    return false;
}

template <typename T>
T Read(const std::vector<UInt8>& inBytes, size_t inOffset = 0)
{
    T value{};
    if (inOffset + sizeof(T) <= inBytes.size()) {
        std::memcpy(&value, inBytes.data() + inOffset, sizeof(T));
    }
    return value;
}

template <typename T>
std::vector<UInt8> Bytes(const T& inValue)
{
    std::vector<UInt8> bytes(sizeof(T));
    std::memcpy(bytes.data(), &inValue, sizeof(T));
    return bytes;
}

std::string RangeText(const AudioValueRange& inRange)
{
    if (inRange.mMinimum == inRange.mMaximum) {
        return PropertyCodec::NumberText(inRange.mMinimum);
    }
    return PropertyCodec::NumberText(inRange.mMinimum) + " .. " + PropertyCodec::NumberText(inRange.mMaximum);
}

}  // namespace

const std::vector<PropertyCodec::Property>& PropertyCodec::GetTable()
{
    return kTable;
}

std::string PropertyCodec::NumberText(double inValue)
{
    char text[40];
    if (std::isfinite(inValue) && inValue == std::floor(inValue) && std::fabs(inValue) < 1e15) {
        std::snprintf(text, sizeof(text), "%.0f", inValue);
        return text;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof(text), "%.*g", precision, inValue);
        if (std::strtod(text, nullptr) == inValue) {
            break;
        }
    }
    return text;
}

std::string PropertyCodec::TakeString(CFStringRef inString)
{
    std::string text;
    if (inString != nullptr) {
        char buffer[512] = {};
        if (CFStringGetCString(inString, buffer, sizeof(buffer), kCFStringEncodingUTF8)) {
            text = buffer;
        }
        CFRelease(inString);
    }
    return text;
}

std::string PropertyCodec::FourCCString(UInt32 inCode)
{
    FourCCText chars(inCode);
    for (int i = 0; i < 4; ++i) {
        if (!std::isprint(static_cast<unsigned char>(chars.text[i]))) {
            char hex[16];
            std::snprintf(hex, sizeof(hex), "0x%08X", unsigned(inCode));
            return hex;
        }
    }
    return chars.c_str();
}

bool PropertyCodec::ParseFourCC(const std::string& inText, UInt32& outCode)
{
    std::string text = inText;
    if (text.size() == 6 && text.front() == '\'' && text.back() == '\'') {
        text = text.substr(1, 4);
    }
    if (text.size() == 4 && !(std::isdigit(static_cast<unsigned char>(text[0])) &&
                              std::isdigit(static_cast<unsigned char>(text[3])) && text != "1394")) {
        outCode = FourCC({text[0], text[1], text[2], text[3], 0});
        return true;
    }
    return ParseUInt(text, outCode);
}

PropertyCodec::Property PropertyCodec::Find(const std::string& inName)
{
    std::string name = Lower(inName);
    std::replace(name.begin(), name.end(), '_', '-');
    for (const Alias& alias : kAliases) {
        if (name == alias.alias) {
            name = alias.name;
        }
    }
    for (const Property& property : kTable) {
        if (name == property.name) {
            return property;
        }
    }
    // By code: exactly four characters (with or without quotes) or a number.
    UInt32 code = 0;
    if (inName.size() == 3) {
        // 'pft ' and 'uid ' end in a space that the shell makes easy to lose.
        return Find(inName + " ");
    }
    bool isCode = (inName.size() == 4) || (inName.size() == 6 && inName.front() == '\'' && inName.back() == '\'') ||
                  (inName.size() > 2 && inName.compare(0, 2, "0x") == 0);
    if (isCode && ParseFourCC(inName, code)) {
        for (const Property& property : kTable) {
            if (property.code == code) {
                return property;
            }
        }
        return Property{"unnamed", code, Type::kOpaque, Scope::kBoth, "raw bytes"};
    }
    throw ToolError::Usage("unknown property '" + inName + "' (see 'kestro get --help' for the names)");
}

std::string PropertyCodec::Describe(const Property& inProperty)
{
    return std::string(inProperty.name) + " ('" + FourCCString(inProperty.code) + "')";
}

std::string PropertyCodec::DescribeTarget(const Target& inTarget)
{
    std::string device = KestroSession::GetDeviceName(inTarget.device);
    if (inTarget.stream != 0) {
        return "stream " + std::to_string(inTarget.stream) + " of " + device;
    }
    return device;
}

OSStatus PropertyCodec::GetInfo(const Target& inTarget, UInt32 inCode, UInt32& outSize, bool& outWritable)
{
    Boolean writable = false;
    outSize = 0;
    OSStatus status =
        inTarget.stream != 0
            ? AudioStreamGetPropertyInfo(inTarget.stream, inTarget.channel, inCode, &outSize, &writable)
            : AudioDeviceGetPropertyInfo(inTarget.device, inTarget.channel, inTarget.isInput, inCode, &outSize,
                                         &writable);
    outWritable = writable != 0;
    return status;
}

OSStatus PropertyCodec::ReadBytes(const Target& inTarget, UInt32 inCode, std::vector<UInt8>& outBytes)
{
    UInt32 size = 0;
    bool writable = false;
    OSStatus status = GetInfo(inTarget, inCode, size, writable);
    if (status != 0) {
        return status;
    }
    outBytes.assign(size, 0);
    status = inTarget.stream != 0
                 ? AudioStreamGetProperty(inTarget.stream, inTarget.channel, inCode, &size, outBytes.data())
                 : AudioDeviceGetProperty(inTarget.device, inTarget.channel, inTarget.isInput, inCode, &size,
                                          outBytes.data());
    if (status == 0) {
        outBytes.resize(std::min<size_t>(size, outBytes.size()));
    }
    return status;
}

OSStatus PropertyCodec::WriteBytes(const Target& inTarget, UInt32 inCode, const std::vector<UInt8>& inBytes)
{
    if (inTarget.stream != 0) {
        return AudioStreamSetProperty(inTarget.stream, nullptr, inTarget.channel, inCode, UInt32(inBytes.size()),
                                      inBytes.data());
    }
    return AudioDeviceSetProperty(inTarget.device, nullptr, inTarget.channel, inTarget.isInput, inCode,
                                  UInt32(inBytes.size()), inBytes.data());
}

std::string PropertyCodec::FormatText(const AudioStreamBasicDescription& inFormat)
{
    std::string text = NumberText(inFormat.mSampleRate) + " Hz, " + std::to_string(inFormat.mChannelsPerFrame) +
                       " ch, " + std::to_string(inFormat.mBitsPerChannel) + "-bit ";
    if (inFormat.mFormatID != kAudioFormatLinearPCM) {
        return text + "'" + FourCCString(inFormat.mFormatID) + "'";
    }
    UInt32 flags = inFormat.mFormatFlags;
    if (flags & kAudioFormatFlagIsFloat) {
        text += "float";
    } else if (flags & kAudioFormatFlagIsSignedInteger) {
        text += "signed integer";
    } else {
        text += "unsigned integer";
    }
    text += (flags & kAudioFormatFlagIsBigEndian) ? ", big-endian" : ", little-endian";
    if (flags & kAudioFormatFlagIsPacked) {
        text += ", packed";
    } else if (flags & kAudioFormatFlagIsAlignedHigh) {
        text += ", aligned high";
    }
    if (flags & kAudioFormatFlagIsNonInterleaved) {
        text += ", non-interleaved";
    }
    return text;
}

void PropertyCodec::FormatJson(const AudioStreamBasicDescription& inFormat, JsonWriter& ioJson)
{
    ioJson.BeginObject();
    ioJson.Key("sample_rate").Number(inFormat.mSampleRate);
    ioJson.Key("format_id").String(FourCCString(inFormat.mFormatID));
    ioJson.Key("format_flags").Integer(inFormat.mFormatFlags);
    ioJson.Key("bytes_per_packet").Integer(inFormat.mBytesPerPacket);
    ioJson.Key("frames_per_packet").Integer(inFormat.mFramesPerPacket);
    ioJson.Key("bytes_per_frame").Integer(inFormat.mBytesPerFrame);
    ioJson.Key("channels").Integer(inFormat.mChannelsPerFrame);
    ioJson.Key("bits_per_channel").Integer(inFormat.mBitsPerChannel);
    ioJson.Key("description").String(FormatText(inFormat));
    ioJson.EndObject();
}

bool PropertyCodec::ParseFormat(const std::string& inText, const AudioStreamBasicDescription& inBase,
                                AudioStreamBasicDescription& outFormat)
{
    // Tokens: numbers with an optional unit (attached or next), and words.
    std::string text = Lower(inText);
    for (char& c : text) {
        if (c == ',' || c == '/' || c == ';' || c == ':') {
            c = ' ';
        }
    }
    std::vector<std::string> tokens;
    size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && text[position] == ' ') {
            ++position;
        }
        size_t end = text.find(' ', position);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > position) {
            tokens.push_back(text.substr(position, end - position));
        }
        position = end;
    }
    double rate = inBase.mSampleRate;
    UInt32 channels = inBase.mChannelsPerFrame;
    UInt32 bits = inBase.mBitsPerChannel;
    bool isFloat = (inBase.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
    bool bigEndian = (inBase.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
    int positional = 0;
    bool any = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (std::isdigit(static_cast<unsigned char>(token[0]))) {
            char* end = nullptr;
            double value = std::strtod(token.c_str(), &end);
            std::string unit = end;
            if (!unit.empty() && unit[0] == '-') {
                unit.erase(0, 1);
            }
            if (unit.empty() && i + 1 < tokens.size() &&
                (tokens[i + 1] == "hz" || tokens[i + 1] == "ch" || tokens[i + 1] == "channels" ||
                 tokens[i + 1] == "bit" || tokens[i + 1] == "bits")) {
                unit = tokens[++i];
            }
            if (unit == "hz" || (unit.empty() && positional == 0)) {
                rate = value;
                positional = std::max(positional, 1);
            } else if (unit == "ch" || unit == "channels" || (unit.empty() && positional == 1)) {
                channels = UInt32(value);
                positional = std::max(positional, 2);
            } else if (unit == "bit" || unit == "bits" || (unit.empty() && positional == 2)) {
                bits = UInt32(value);
                positional = 3;
            } else {
                return false;
            }
            any = true;
        } else if (token == "float") {
            isFloat = true;
            any = true;
        } else if (token == "int" || token == "integer" || token == "signed") {
            isFloat = false;
            any = true;
        } else if (token == "big-endian" || token == "be") {
            bigEndian = true;
        } else if (token == "little-endian" || token == "le") {
            bigEndian = false;
        } else if (token == "packed" || token == "lpcm" || token == "'lpcm'") {
        } else {
            return false;
        }
    }
    if (!any || channels == 0 || bits == 0 || bits % 8 != 0 || !(rate > 0)) {
        return false;
    }
    outFormat = AudioStreamBasicDescription{};
    outFormat.mSampleRate = rate;
    outFormat.mFormatID = kAudioFormatLinearPCM;
    outFormat.mFormatFlags = (isFloat ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
                             kAudioFormatFlagIsPacked | (bigEndian ? kAudioFormatFlagIsBigEndian : 0u);
    outFormat.mFramesPerPacket = 1;
    outFormat.mChannelsPerFrame = channels;
    outFormat.mBitsPerChannel = bits;
    outFormat.mBytesPerFrame = bits / 8 * channels;
    outFormat.mBytesPerPacket = outFormat.mBytesPerFrame;
    return true;
}

std::string PropertyCodec::ItemName(AudioDeviceID inDevice, bool inIsInput, UInt32 inItem)
{
    CFStringRef name = nullptr;
    AudioValueTranslation translation{&inItem, sizeof(inItem), &name, sizeof(name)};
    UInt32 size = sizeof(translation);
    std::string text;
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, kAudioDevicePropertyDataSourceNameForIDCFString, &size,
                               &translation) == 0 &&
        name != nullptr) {
        char buffer[256] = {};
        if (CFStringGetCString(name, buffer, sizeof(buffer), kCFStringEncodingUTF8)) {
            text = buffer;
        }
        CFRelease(name);
    }
    return text;
}

std::string PropertyCodec::GetText(const Target& inTarget, const Property& inProperty)
{
    std::vector<UInt8> bytes;
    OSStatus status = ReadBytes(inTarget, inProperty.code, bytes);
    ToolError::Check(status, "couldn't get " + Describe(inProperty) + " of " + DescribeTarget(inTarget));
    switch (inProperty.type) {
    case Type::kUInt32:
        return std::to_string(Read<UInt32>(bytes));
    case Type::kSInt32:
        return std::to_string(Read<SInt32>(bytes));
    case Type::kBool:
        return Read<UInt32>(bytes) != 0 ? "true" : "false";
    case Type::kFourCC: {
        UInt32 code = Read<UInt32>(bytes);
        std::string text = FourCCString(code);
        if (inProperty.code == kAudioDevicePropertyDataSource) {
            std::string name = ItemName(inTarget.device, inTarget.isInput, code);
            if (!name.empty()) {
                text += " (" + name + ")";
            }
        }
        return text;
    }
    case Type::kFloat32:
        return NumberText(Read<Float32>(bytes));
    case Type::kFloat64:
        return NumberText(Read<Float64>(bytes));
    case Type::kCString:
        return std::string(reinterpret_cast<const char*>(bytes.data()), strnlen(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    case Type::kCFString:
        return TakeString(Read<CFStringRef>(bytes));
    case Type::kFormat:
        return FormatText(Read<AudioStreamBasicDescription>(bytes));
    case Type::kFormatList: {
        std::string text;
        for (size_t offset = 0; offset + sizeof(AudioStreamBasicDescription) <= bytes.size();
             offset += sizeof(AudioStreamBasicDescription)) {
            text += (text.empty() ? "" : "\n") + FormatText(Read<AudioStreamBasicDescription>(bytes, offset));
        }
        return text;
    }
    case Type::kRange:
        return RangeText(Read<AudioValueRange>(bytes));
    case Type::kRangeList: {
        std::string text;
        for (size_t offset = 0; offset + sizeof(AudioValueRange) <= bytes.size(); offset += sizeof(AudioValueRange)) {
            text += (text.empty() ? "" : ", ") + RangeText(Read<AudioValueRange>(bytes, offset));
        }
        return text;
    }
    case Type::kIDList: {
        std::string text;
        for (size_t offset = 0; offset + 4 <= bytes.size(); offset += 4) {
            text += (text.empty() ? "" : " ") + std::to_string(Read<UInt32>(bytes, offset));
        }
        return text;
    }
    case Type::kItemList: {
        std::string text;
        for (size_t offset = 0; offset + 4 <= bytes.size(); offset += 4) {
            UInt32 item = Read<UInt32>(bytes, offset);
            std::string name = ItemName(inTarget.device, inTarget.isInput, item);
            text += (text.empty() ? "" : "\n") + FourCCString(item) + (name.empty() ? "" : " (" + name + ")");
        }
        return text;
    }
    case Type::kBufferList: {
        UInt32 buffers = Read<UInt32>(bytes);
        std::string text = std::to_string(buffers) + (buffers == 1 ? " buffer" : " buffers");
        for (UInt32 b = 0; b < buffers; ++b) {
            size_t offset = offsetof(AudioBufferList, mBuffers) + b * sizeof(AudioBuffer);
            text += (b == 0 ? ": " : ", ") + std::to_string(Read<UInt32>(bytes, offset)) + " ch";
        }
        return text;
    }
    case Type::kTimeStamp:
    case Type::kOpaque:
        break;
    }
    std::string text;
    for (UInt8 byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%02x", byte);
        text += hex;
    }
    return text.empty() ? "(no data)" : text;
}

void PropertyCodec::SetText(const Target& inTarget, const Property& inProperty, const std::string& inText)
{
    auto bad = [&](const char* inExpected) {
        return ToolError::Usage("can't read '" + inText + "' as " + inExpected + " for " + Describe(inProperty));
    };
    std::vector<UInt8> bytes;
    switch (inProperty.type) {
    case Type::kUInt32: {
        UInt32 value = 0;
        if (!ParseUInt(inText, value)) {
            throw bad("a whole number");
        }
        bytes = Bytes(value);
        break;
    }
    case Type::kSInt32: {
        char* end = nullptr;
        long value = std::strtol(inText.c_str(), &end, 0);
        if (inText.empty() || *end != 0) {
            throw bad("a whole number");
        }
        bytes = Bytes(SInt32(value));
        break;
    }
    case Type::kBool: {
        bool value = false;
        if (!ParseBool(inText, value)) {
            throw bad("true or false");
        }
        bytes = Bytes(UInt32(value ? 1 : 0));
        break;
    }
    case Type::kFourCC: {
        UInt32 code = 0;
        std::string word = inText.substr(0, inText.find(" ("));
        bool looksLikeCode = word.size() == 4 || (word.size() == 6 && word.front() == '\'' && word.back() == '\'');
        if (inProperty.code == kAudioDevicePropertyDataSource && !looksLikeCode) {
            // A connector name: sdi, aes, adat, spdif, analog.
            try {
                code = KestroSession::ConnectorItem(word);
            } catch (const ToolError&) {
                throw bad("a four-character code or a connector name");
            }
        } else if (!ParseFourCC(word, code)) {
            throw bad("a four-character code");
        }
        bytes = Bytes(code);
        break;
    }
    case Type::kFloat32:
    case Type::kFloat64: {
        double value = 0;
        if (!ParseDouble(inText, value)) {
            throw bad("a number");
        }
        bytes = inProperty.type == Type::kFloat32 ? Bytes(Float32(value)) : Bytes(Float64(value));
        break;
    }
    case Type::kFormat: {
        std::vector<UInt8> current;
        AudioStreamBasicDescription base{};
        if (ReadBytes(inTarget, inProperty.code, current) == 0) {
            base = Read<AudioStreamBasicDescription>(current);
        }
        AudioStreamBasicDescription format{};
        if (!ParseFormat(inText, base, format)) {
            throw bad("a format (like \"48000 Hz, 8 ch, 24-bit signed integer\" or 48000/8/24)");
        }
        bytes = Bytes(format);
        break;
    }
    default:
        throw ToolError::Usage(Describe(inProperty) + " can't be set from the command line");
    }
    OSStatus status = WriteBytes(inTarget, inProperty.code, bytes);
    ToolError::Check(status, DescribeTarget(inTarget) + " refused " + Describe(inProperty) + " = " + inText);
}
