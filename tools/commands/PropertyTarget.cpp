#include "tools/commands/PropertyTarget.h"

#include "tools/ToolError.h"

void PropertyTarget::Configure(CLI::App& ioApp)
{
    ioApp.add_option("--channel", mChannel, "Channel of the property (0: the device or stream as a whole)");
    CLI::Option* input = ioApp.add_flag("--input", mInput, "The input section (default: the device's own direction)");
    CLI::Option* output = ioApp.add_flag("--output", mOutput, "The output section");
    input->excludes(output);
    ioApp.add_flag("--stream", mStream, "Ask the device's published stream instead of the device");
}

PropertyCodec::Target PropertyTarget::Resolve(const KestroSession& inSession, const std::string& inDevice,
                                              const PropertyCodec::Property& inProperty) const
{
    PropertyCodec::Target target;
    target.device = inSession.FindDevice(inDevice);
    target.channel = mChannel;
    target.isInput = mInput ? true : mOutput ? false : KestroSession::IsInputDevice(target.device);
    if (mStream || inProperty.scope == PropertyCodec::Scope::kStream) {
        target.stream = KestroSession::GetPublishedStream(target.device);
        if (target.stream == 0) {
            throw ToolError::System(KestroSession::GetDeviceName(target.device) + " publishes no stream",
                                    kAudioHardwareBadStreamError);
        }
    }
    return target;
}

std::string PropertyTarget::PropertyNames()
{
    std::string text = "Properties (a readable name or the four-character code):\n";
    for (const PropertyCodec::Property& property : PropertyCodec::GetTable()) {
        std::string line = "  " + std::string(property.name);
        line.resize(std::max<size_t>(line.size() + 1, 38), ' ');
        line += "'" + PropertyCodec::FourCCString(property.code) + "'  ";
        line += property.summary;
        if (property.scope == PropertyCodec::Scope::kStream) {
            line += " (stream)";
        }
        text += line + "\n";
    }
    return text;
}
